// `korvane floppy`: one floppy image, written by the same WriteFloppyImage the standard edition page runs.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "base/oemtext.h"
#include "cli/cli.h"
#include "fat/fat.h"
#include "disk/sectorio.h"
#include "floppy/floppy.h"
#include "floppy/sysfiles.h"

namespace {

struct FloppyRequest {
  std::string target;
  FloppyKind kind = FloppyKind::k1440K;
  std::string label;
  DosVersion dos = kDosNone;
  std::string sysFiles;  // the folder that stands for the program's SysFile folder
  uint32_t at = 0;
  bool yes = false;
};

// Fills the request from the arguments; returns an error text, empty when they are fine.
std::string ParseRequest(std::vector<std::string> args, FloppyRequest* r) {
  r->yes = TakeFlag(args, "--yes");
  std::string kind, at;
  if (!TakeOption(args, "--kind", &kind)) return "--kind 720K|1.2M|1.44M is required";
  std::string error = ParseFloppyKindName(kind, &r->kind);
  if (!error.empty()) return error;
  TakeOption(args, "--label", &r->label);
  if (r->label.find('\0') != std::string::npos) return "a label cannot hold a zero byte";
  // The label goes to the disk in its code page (--codepage), at most 11 bytes.
  error = CliOemBytes(r->label, bpb::kLabelSize, "the label", &r->label);
  if (!error.empty()) return error;
  if (!(error = TakeDosOptions(args, &r->dos, &r->sysFiles)).empty()) return error;
  uint64_t sector = 0;
  if (TakeOption(args, "--at", &at) && !ParseUnsigned(at, &sector)) return "--at takes a sector number";
  // Sector numbers reach only the first 2 TiB of a disk (compared without adding, so no sum can wrap).
  if (sector > kFirstUnaddressableSector - GeometryOf(r->kind).totalSectors)
    return "--at " + at + ": the image would end beyond the first 2 TiB of the disk";
  r->at = static_cast<uint32_t>(sector);
  if (args.size() != 1 || args[0].empty() || args[0][0] == '-')
    return args.empty() ? "a TARGET is required" : "unexpected argument '" + args.back() + "'";
  r->target = args[0];
  return "";
}

int RunFloppy(const std::vector<std::string>& args) {
  FloppyRequest r;
  std::string error = ParseRequest(args, &r);
  if (!error.empty()) return CliUsage(error);
  if (r.dos != kDosNone && !(error = CheckFloppySysFiles(r.sysFiles, r.dos, r.kind)).empty())
    return CliFail(error + "; nothing was written");
  const uint64_t needed = uint64_t{r.at} + GeometryOf(r.kind).totalSectors;
  CliTargetOptions options;
  options.createSectors = needed;
  options.growToSectors = needed;  // an image file grows to hold the image; it never shrinks
  options.minimumSectors = needed;
  options.yes = r.yes;
  CliTarget target;
  if (!OpenCliTarget(r.target, options, &target, &error)) return CliFail(error);
  CliSysFileStage stage;
  if (r.dos != kDosNone && !(error = stage.Prepare(r.sysFiles)).empty())
    return CliFailRun(target, error, "");

  RunOutcome written;
  {
    DeviceHandle disk(OpenDevice(target.deviceName.c_str()));
    if (!disk.valid()) return CliFailRun(target, "cannot open " + r.target, "");
    written = WriteFloppyImage(disk.get(), r.at, r.kind, r.label.c_str(), r.dos, nullptr, CliRun());
  }
  RereadCliTarget(target);
  const std::string remedy = "the floppy image is incomplete, write it again";
  if (!written.Succeeded()) return CliFailRun(target, "writing the floppy image to " + r.target + " failed", remedy);
  std::printf("wrote a %s floppy image at sector %u of %s%s%s%s\n", FloppyKindName(r.kind), static_cast<unsigned>(r.at),
              r.target.c_str(), r.label.empty() ? "" : (", label " + CliPrintable(FromOemText(r.label))).c_str(),
              r.dos == kDosNone ? "" : ", with the system files of DOS ", r.dos == kDosNone ? "" : DosVersionName(r.dos));
  return 0;
}

const CliCommandRegistrar kRegisterFloppy({
    "floppy",
    "  floppy TARGET --kind 720K|1.2M|1.44M [--label TEXT] [--dos 6.22|7.1 --sysfiles DIR] [--at SECTOR] [--yes]\n"
    "      Writes one empty FAT12 floppy image as the standard edition page does: DBR, both FATs, the root\n"
    "      directory and the data area filled with F6 (the image's last sector is left as it was). The DBR goes to\n"
    "      SECTOR (default 0). --label (up to 11 bytes in the disk's code page, see --codepage) adds a volume label\n"
    "      entry.\n"
    "      --dos makes the image bootable: DIR stands for the program's SysFile folder and holds OS6A, OS6B, OS6C\n"
    "      (DOS 6.22) or OS7A, OS7B, OS7C (DOS 7.1), copied as IO.SYS, MSDOS.SYS and COMMAND.COM; korvane shows\n"
    "      DIR to the program as SysFile in a temporary current directory. A missing image file is created, a\n"
    "      shorter one extended; image files are never truncated.",
    RunFloppy,
});

}  // namespace
