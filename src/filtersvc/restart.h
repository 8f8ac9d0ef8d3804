// Stop and start of a device node through the Setup API's property-change request, so that the system reads a
// disk anew after the program wrote it (a new file system, another floppy block presented by the filter driver)
// and a changed upper filter list takes effect.
#pragma once

#include "sys/sys.h"

// Stops and starts `device` of `set`: 1 when both went through and the system asks for no reboot, else 0.
int RestartDevice(SysDevInfoSet set, SysDevInfo* device);

// Restarts the device node whose physical device object is the NT device behind a volume name ("E:"). A name
// that maps to no device, or to no node, restarts nothing; the outcome is not reported.
void RestartVolume(const char* volumeName);
