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
//   codepage <n> the OEM code page labels and 8.3 names are kept in (437, 850, 936, ...); without the line, the
//                host system's own (936 on a Chinese system)
//
// and these make a disk fail, so the program can be seen reporting it:
//
//   fail writes <disk> <sector> [<count>]   writes touching these sectors fail (from <sector> on without a count)
//   fail reads <disk> <sector> [<count>]    the same for reads
//   short <disk>                            every transfer moves one sector less than asked
//   pull <disk> <writes>                    the disk is pulled out after that many write calls
//   real <disk> <sectors>                   the disk holds only that many sectors and wraps round past them, as a
//                                           stick that claims more than it has: sector x reaches x modulo <sectors>
#pragma once

#include <string>
#include <vector>

#include "sys/sim/sim.h"

constexpr const char* kSimMachineFileName = "Korvane-sim.machine";
constexpr const char* kSimDefaultStickImage = "Korvane-sim-stick.img";

// Parses a machine file. Relative image paths are taken relative to `baseDir` (a Windows path). On a fault returns
// false and says where in *error ("line 3: unknown bus \"firewire\"").
struct SimMachineFault {
  enum Kind { kFailWrites, kFailReads, kShortTransfers, kPull } kind = kFailWrites;
  int disk = 1;
  uint64_t first = 0;           // fail writes, fail reads: the first failing sector; pull: the write calls before
  uint64_t count = UINT64_MAX;  // fail writes, fail reads: how many sectors fail (all from first on by default)
};
struct SimMachineRules {
  bool vista = false;
  std::string heldVolumes;  // letters
  uint32_t oemCodePage = 0;  // 0: the host system's
  std::vector<SimMachineFault> faults;
};
// Puts the faults of a machine file on the machine's disks.
void ApplySimMachineFaults(const std::vector<SimMachineFault>& faults);
bool ParseSimMachine(const std::string& text, const std::string& baseDir, std::vector<SimDiskSpec>* disks,
                     std::string* error, SimMachineRules* rules = nullptr);

// The default machine: a small ATA system disk 0 with C: in memory, and a 256 MiB "Generic Flash Disk" on USB as
// physical drive 1 with E:, backed by Korvane-sim-stick.img in `baseDir` (created on first use).
std::vector<SimDiskSpec> DefaultSimMachine(const std::string& baseDir);
