// One run of the multi-floppy service switch: the work of the enhanced page's service thread, which attaches or
// detaches the filter for the selected disk and says what to tell the user. The page shows the message, sets the
// disk's serviceActive and its switch from the result, and sends itself the end-of-run message.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "filtersvc/filter.h"

struct ServiceDisk {
  std::string deviceName;  // "physicaldrive1"
  std::string pdoName;     // its physical device object name, "\Device\..."
  bool serviceActive = false;
};

enum class ServiceOutcome {
  NoDisk,         // no disk selected
  DriverMissing,  // the driver file is not in the current directory: nothing was changed
  NoDevice,       // no device node belongs to the disk
  Started,
  StartNeedsRestart,
  StartFailed,
  DriverNotLoaded,  // the filter was listed and the disk restarted, but the system did not load the driver
  Stopped,
  StopNeedsRestart,
  StopFailed,
};

struct ServiceRunResult {
  ServiceOutcome outcome = ServiceOutcome::NoDisk;
  std::optional<FilterResult> registration;  // SetDiskFilter's result; none when it did not run
  bool serviceActive = false;  // the disk's serviceActive afterwards
  bool switchChecked = false;  // the state the service switch ends in
};

// Runs a start (the switch was checked) or a stop for `disk` (none when no disk is selected). After a start that
// went through, configureBlocks tells the driver the block layout.
ServiceRunResult RunServiceSwitch(bool start, const ServiceDisk* disk, const std::function<void()>& configureBlocks);

// One service run at a time: a click on the switch while a run goes on is refused. BeginServiceRun is true when
// no run was going (and marks one going); EndServiceRun ends it, on every way a run can end.
bool BeginServiceRun();
void EndServiceRun();
