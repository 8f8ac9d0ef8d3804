// The machine of the simulated Windows program: read from `Korvane-sim.machine` beside the program, or the default.
//
// One disk per line, '#' starts a comment, fields separated by blanks, double quotes keep blanks in a field:
//
//   disk <number> <bus> <vendor> <product> <sector size> <sectors> <image> <volumes>
//
//   number       physical drive number, 0 to 99 (0 is the system disk)
//   bus          usb, ata or scsi
//   vendor       as the device reports it, e.g. "Generic " (blanks kept); - for none
//   product      as the device reports it, e.g. " Flash Disk"; - for none
//   sector size  512, 1024, 2048 or 4096
//   sectors      the disk's size in sectors; 0 takes the size of an existing image
//   image        memory, or an image file (relative to the program's directory), created or extended to the size
//   volumes      - for none, or letters with an optional start sector and sector count: E  E@63  E@63+2880,F@4096
//
// Two more lines set how the machine behaves:
//
//   vista        writes through a disk handle into a mounted volume nobody locked fail, as on Windows Vista and later
//   hold <letter>  another program holds files open on the volume, so it cannot be locked
#pragma once

#include <string>
#include <vector>

#include "sys/sim/sim.h"

constexpr const char* kSimMachineFileName = "Korvane-sim.machine";
constexpr const char* kSimDefaultStickImage = "Korvane-sim-stick.img";

// Parses a machine file. Relative image paths are taken relative to `baseDir` (a Windows path). On a fault returns
// false and says where in *error ("line 3: unknown bus \"firewire\"").
struct SimMachineRules {
  bool vista = false;
  std::string heldVolumes;  // letters
};
bool ParseSimMachine(const std::string& text, const std::string& baseDir, std::vector<SimDiskSpec>* disks,
                     std::string* error, SimMachineRules* rules = nullptr);

// The default machine: a small ATA system disk 0 with C: in memory, and a 256 MiB "Generic Flash Disk" on USB as
// physical drive 1 with E:, backed by Korvane-sim-stick.img in `baseDir` (created on first use).
std::vector<SimDiskSpec> DefaultSimMachine(const std::string& baseDir);
