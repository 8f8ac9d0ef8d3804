// The three FAT12 floppy kinds and the writer that lays one complete, empty floppy image at any sector of a disk:
// DBR, both FATs, root directory with an optional volume label entry, and the filled data area; optionally made
// bootable with the DOS system files (floppy/sysfiles.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "base/outcome.h"
#include "disk/runcontrol.h"
#include "fat/floppy_kinds.h"
#include "sys/sys.h"

// Any value but 1 counts as DOS 7.1 where a boot program is chosen; kDosNone writes no system files.
enum DosVersion : int { kDosNone = 0, kDos622 = 1, kDos71 = 2 };

// The volume label field of every 1.2M DBR; the label of a 1.2M image goes only into its root directory.
constexpr char kNoNameLabel[] = "NO NAME    ";

// Builds the 512-byte DBR of an image: the kind's BPB, the label in the volume label field (spaces after it), the
// DOS 6.22 boot program for kDos622 and the DOS 7.1 one for anything else, 55 AA at 510. A label longer than 11
// characters is cut to 11; a null label counts as empty.
void BuildFloppyDbr(FloppyKind kind, const char* label, DosVersion dos, uint8_t* dbr);

// The image as it goes to the disk, all but its last sector, built in memory; kept from one image of a batch to the
// next, so the data area is filled once.
struct FloppyImageBuffer {
  std::optional<FloppyKind> kind;  // the kind whose data area `bytes` holds; none yet
  std::vector<uint8_t> bytes;
};

// Writes one image with its DBR at startSector. The image goes out in one write from startSector (the DBR's place
// zero, both FATs, the root directory with the label entry, the data area filled with F6; the image's last sector is
// left as it was), then the system files, and the DBR last: an image cut short anywhere has no valid DBR, so it
// never passes for a formatted floppy. With a DOS version, system files that cannot go into the image are refused
// before anything is written; after the first write, any failed transfer ends the image at once, and what was
// written before stays. Never writes outside startSector .. startSector + total sectors - 1.
// label: 0 to 11 characters, written unchanged; empty means no volume label entry.
// The outcome: refused at kCheck (kSystemFilesUnusable), or ended at kImage, kSystemFiles or kBootRecord; written
// holds the image's sectors once its first write went out, and completed is 1 once its DBR is on the disk.
RunOutcome WriteFloppyImage(SysHandle disk, uint32_t startSector, FloppyKind kind, const char* label,
                            DosVersion dos, FloppyImageBuffer* buffer = nullptr,
                            RunControl* run = nullptr);
// What WriteFloppyImage writes without system files, in bytes (the DBR's sector counted twice).
uint64_t FloppyImageWriteBytes(FloppyKind kind);
