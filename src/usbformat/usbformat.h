// The general formatter: one FAT12 or FAT16 volume over a whole removable disk, with the number of FATs, cluster
// size, volume label, root directory size and data-area fill the user chose, optionally bootable behind an MBR.
//
// The arithmetic is pure (SectorsPerFat, MinimumAllocationUnit, DiskGeometry, BuildFormatDbr, BuildMbr) and tested
// alone; the writers put its results on the disk. Every number the writers need comes from the volume's DBR, so
// nothing else carries the layout between the steps.
#pragma once

#include <cstdint>
#include <string>

#include "base/outcome.h"
#include "disk/sectorio.h"
#include "fat/fat.h"
#include "floppy/floppy.h"
#include "sys/sys.h"

constexpr uint32_t kMaxRootEntries = 512;
constexpr uint32_t kMaxClusterBytes = 65536;
// A cluster size the formatter writes: a power of two from 512 to 65,536 bytes.
constexpr bool IsClusterSize(uint64_t bytes) {
  return bytes >= kSectorSize && bytes <= kMaxClusterBytes && (bytes & (bytes - 1)) == 0;
}

// How a bootable disk starts: the volume at sector 0, or an MBR in front of it.
enum BootMode : int { kBootFdd = 0, kBootHdd = 1, kBootZip = 2 };

// What the user chose, read from the page (or the command line) once, when the format starts, in the units of the
// volume. 0 stands for a list without a selection (its text was typed over).
struct UsbFormatOptions {
  uint32_t fatCount = 2;       // 1 or 2
  uint32_t clusterBytes = 512; // a power of two from 512 to 65,536
  std::string label;           // bytes for the disk (the OEM code page); at most 11 are used
  uint32_t rootEntries = 256;
  bool fillDataArea = false;
  uint8_t fillByte = 0;
  bool dosBoot = false;        // the DOS boot group: the boot mode, MBR size and DOS version count only with it
  int bootMode = kBootFdd;     // a BootMode; traced as its number
  uint32_t mbrSectors = 32;    // 32 or 63: the volume start behind the MBR, and the sectors per track
  DosVersion dos = kDos622;
};

// The format fields of the disk's record: the FAT kind decided for the volume and the geometry its BPB and MBR
// carry.
struct FormatRecordFields {
  uint8_t fatKind = 0;  // 1 FAT12, 2 FAT16
  uint8_t heads = 0;
  uint16_t cylinders = 0;
  uint8_t sectorsPerTrack = 0;
};

// The boot record of the volume being formatted. Each format builds its own.
struct FormatDbr {
  uint8_t bytes[kSectorSize] = {};
};

// The allocation unit, in bytes, the page offers by default for a disk of sectorCount sectors (0 for no disk) and
// rootEntries root entries: the FAT16 cluster size table applied to the data sectors of a 1-sector-per-cluster,
// two-FAT layout, raised where needed to the smallest unit that FAT16 can hold with two FATs. 65,536 when none can.
uint32_t MinimumAllocationUnit(uint32_t sectorCount, uint32_t rootEntries);

// The refusals that come before anything is computed for the volume: no capacity, no root entries or more than
// 512, no cluster size chosen, a cluster larger than the disk, no FAT count chosen.
Refusal CheckUsbFormatRequest(uint32_t sectorCount, const UsbFormatOptions& options);

// Sectors per track 63 for an MBR of 63 sectors, else 32; a disk of 32 or more sectors gets 1024 cylinders and
// (sectorCount / 1024) / sectorsPerTrack heads kept in 8 bits (0 below 1024 x sectors per track), a smaller one
// 1 head. fatKind stays 0.
FormatRecordFields DiskGeometry(uint32_t sectorCount, uint32_t mbrSectors);
// The geometry of a bootable layout: DiskGeometry, except that fewer than 2 heads become 2 heads over as many
// cylinders as the disk needs (at most 1024). Boot code and BIOSes read such a disk by CHS with this geometry, which
// 0 heads makes impossible, and the MBR's partition start (head 1, sector 1) lies one track in only with 2 or more.
FormatRecordFields BootableDiskGeometry(uint32_t sectorCount, uint32_t mbrSectors);

// The volume start: the MBR size (32, 63; 0 without a selection) for a bootable "HDD boot" or "ZIP boot" layout,
// else 0.
uint32_t VolumeStart(const UsbFormatOptions& options);

// What BuildFormatDbr decided besides the record.
struct DbrDecision {
  Refusal refusal = Refusal::kNone;
  uint8_t fatKind = 0;
  uint32_t dataSectors = 0;    // DataSec, wrapped as 32-bit arithmetic has it
  uint32_t clusters = 0;
  uint32_t suggestedUnit = 0;  // Refusal::kTooManyClusters: the smallest unit, in bytes, that FAT16 can hold
};

// Builds the DBR of a volume of sectorCount - volumeStart sectors at volumeStart, with the cluster size and FAT
// count of options (both must be selected), the geometry's sectors per track and heads, and the boot program of
// dos. A refused volume leaves dbr partly built; it must not be written.
DbrDecision BuildFormatDbr(uint32_t sectorCount, uint32_t volumeStart, const UsbFormatOptions& options,
                           const FormatRecordFields& geometry, DosVersion dos, FormatDbr* dbr);

// Sector 0 of a bootable layout: the MBR program, one active partition of type 06 from volumeStart to the end of
// the disk with its CHS end from geometry, 55 AA.
void BuildMbr(uint32_t volumeStart, uint32_t sectorCount, const FormatRecordFields& geometry, uint8_t* sector);

// The writing steps; each returns false when a transfer failed (what was written before stays).
// Zeroes sectors 1 .. volumeStart - 1 and writes the MBR at sector 0.
bool WriteMbr(SysHandle disk, uint32_t volumeStart, uint32_t sectorCount, const FormatRecordFields& geometry,
              RunControl* run = nullptr);
// Zeroes every FAT copy and writes the FAT head (media FF FF, and one more FF for FAT16) at the start of each.
bool WriteVolumeFats(SysHandle disk, const FatLayout& volume, uint8_t media, RunControl* run = nullptr);
// Zeroes the root directory and, for a non-empty label, writes its volume label entry stamped with the local time.
bool WriteRootDirectory(SysHandle disk, const FatLayout& volume, const std::string& label, RunControl* run = nullptr);

// The volume a format laid out: the disk record's format fields, the volume start and the volume as its boot record
// describes it (once accepted).
struct UsbFormatVolume {
  FormatRecordFields fields;
  uint32_t volumeStart = 0;
  FatLayout volume;
};

// Formats the disk (open for reading and writing, owned by the caller) of sectorCount sectors with options:
// refuses before writing anything when CheckUsbFormatRequest, the volume's FAT type or the DOS system files
// (missing, unreadable, too large for the volume) refuse it; otherwise writes the MBR (bootable HDD and ZIP
// layouts), the DBR, the FATs, the root directory, the data-area fill, and the DOS system files when the DOS boot
// option is on. The first step that fails ends the format and it has not succeeded, whichever step it was. The
// disk's volumes (driveLetters, "E:F:") are held exclusively from the first write to the last and given back
// before it returns; none (the command-line tool) takes nothing. The run (disk/runcontrol.h) counts and can stop
// every write; under a verifying one the disk is checked for a capacity it does not have before the first write
// and read back after the last.
// The outcome ends at kCheck (a refusal, with the suggested unit for kTooManyClusters), kLockVolumes, kCapacity, a
// writing step (kMbr, kBootRecord, kFats, kRootDirectory, kFill, kSystemFiles) or kVerify; `laidOut` receives the
// volume once it is decided.
RunOutcome RunUsbFormat(SysHandle disk, uint32_t sectorCount, const UsbFormatOptions& options,
                        const char* driveLetters = nullptr, UsbFormatVolume* laidOut = nullptr,
                        RunControl* run = nullptr);
