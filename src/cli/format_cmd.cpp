// `korvane format`: one FAT12 or FAT16 volume over a whole image file or USB disk, written by the same RunUsbFormat
// the "USB disk format" page runs, with every choice of that page and of its DOS boot group.
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "base/oemtext.h"
#include "cli/cli.h"
#include "fat/fat.h"
#include "disk/sectorio.h"
#include "usbformat/usbformat.h"

namespace {

struct FormatRequest {
  std::string target;
  UsbFormatOptions options;
  bool clusterGiven = false;
  std::string sysFiles;
  bool yes = false;
  bool verify = false;
};

// Index of value in names, or -1.
int IndexOf(const std::string& value, std::initializer_list<const char*> names) {
  int index = 0;
  for (const char* name : names) {
    if (value == name) return index;
    ++index;
  }
  return -1;
}

bool ParseFillByte(const std::string& text, uint8_t* byte) {
  if (text.empty() || text.size() > 2) return false;
  unsigned value = 0;
  for (char c : text) {
    const char* digits = "0123456789ABCDEF";
    const char* digit = c ? std::strchr(digits, std::toupper(static_cast<unsigned char>(c))) : nullptr;
    if (!digit) return false;
    value = value * 16 + static_cast<unsigned>(digit - digits);
  }
  *byte = static_cast<uint8_t>(value);
  return true;
}

// The DOS boot group: --dos ticks its check box; --boot and --mbr are the lists it enables.
std::string ParseBootGroup(std::vector<std::string>& args, FormatRequest* r) {
  UsbFormatOptions& o = r->options;
  std::string boot, mbr;
  DosVersion dos = kDosNone;
  const std::string error = TakeDosOptions(args, &dos, &r->sysFiles);
  if (!error.empty()) return error;
  bool haveBoot = TakeOption(args, "--boot", &boot);
  bool haveMbr = TakeOption(args, "--mbr", &mbr);
  const bool haveDos = dos != kDosNone;
  o.dos = haveDos ? dos : kDos622;
  o.dosBoot = haveDos;
  if (haveBoot && !haveDos) return "--boot needs --dos: the boot mode counts only for a bootable disk";
  if (haveBoot && (o.bootMode = IndexOf(boot, {"fdd", "hdd", "zip"})) < 0)
    return "unknown boot mode '" + boot + "' (fdd, hdd or zip)";
  if (haveMbr && o.bootMode == 0) return "--mbr needs --boot hdd or --boot zip";
  if (haveMbr && mbr != "32" && mbr != "63") return "--mbr takes 32 or 63";
  if (haveMbr) o.mbrSectors = mbr == "32" ? 32 : 63;
  return "";
}

// Fills the request from the arguments; returns an error text, empty when they are fine.
std::string ParseRequest(std::vector<std::string> args, FormatRequest* r) {
  UsbFormatOptions& o = r->options;
  r->yes = TakeFlag(args, "--yes");
  r->verify = TakeFlag(args, "--verify");
  std::string fats, cluster, root, fill;
  if (TakeOption(args, "--fats", &fats)) {
    if (fats != "1" && fats != "2") return "--fats takes 1 or 2";
    o.fatCount = fats == "1" ? 1 : 2;
  }
  uint64_t value = 0;
  if ((r->clusterGiven = TakeOption(args, "--cluster", &cluster))) {
    if (!ParseUnsigned(cluster, &value) || !IsClusterSize(value))
      return "--cluster takes a size in bytes: 512, 1024, 2048, 4096, 8192, 16384, 32768 or 65536";
    o.clusterBytes = static_cast<uint32_t>(value);
  }
  if (TakeOption(args, "--label", &o.label)) {
    if (o.label.find('\0') != std::string::npos) return "a label cannot hold a zero byte";
    // The label goes to the disk in its code page (--codepage), at most 11 bytes.
    std::string error = CliOemBytes(o.label, bpb::kLabelSize, "the label", &o.label);
    if (!error.empty()) return error;
  }
  if (TakeOption(args, "--root", &root)) {
    if (!ParseUnsigned(root, &value) || value > UINT32_MAX) return "--root takes a number of root directory entries";
    o.rootEntries = static_cast<uint32_t>(value);
  }
  if ((o.fillDataArea = TakeOption(args, "--fill", &fill)) && !ParseFillByte(fill, &o.fillByte))
    return "--fill takes a byte as one or two hexadecimal digits";
  std::string error = ParseBootGroup(args, r);
  if (!error.empty()) return error;
  if (args.size() != 1 || args[0].empty() || args[0][0] == '-')
    return args.empty() ? "a TARGET is required" : "unexpected argument '" + args.back() + "'";
  r->target = args[0];
  return "";
}

// The three source files must be there, readable and not empty; checked before the target is touched, since the
// transfer itself only traces what goes wrong with them.
std::string CheckSysFiles(const FormatRequest& r) {
  for (char letter : {'A', 'B', 'C'}) {
    std::string path = r.sysFiles + "/OS" + (r.options.dos == kDos71 ? "7" : "6") + letter;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return "cannot find " + path + ": " + std::strerror(errno);
    if (!S_ISREG(st.st_mode)) return path + " is not a regular file";
    if (::access(path.c_str(), R_OK) != 0) return "cannot read " + path + ": " + std::strerror(errno);
    if (st.st_size == 0) return path + " is empty";
  }
  return "";
}

std::string RefusalText(const FormatRequest& r, uint32_t sectors, const RunOutcome& outcome) {
  const uint32_t clusterBytes = r.options.clusterBytes;
  switch (outcome.refusal) {
    case Refusal::kNoSectors:
      return r.target + " holds no whole sector";
    case Refusal::kTooManyRootEntries:
      return "--root: at most " + std::to_string(kMaxRootEntries) + " root directory entries";
    case Refusal::kClusterTooLarge:
      return "a cluster of " + std::to_string(clusterBytes) + " bytes is larger than " + r.target + " (" +
             std::to_string(sectors) + " sectors)";
    case Refusal::kNoDataArea:
      return r.target + " is too small for these choices: no room is left for files";
    case Refusal::kTooManyClusters:
      return "FAT16 cannot hold " + r.target + " with " + std::to_string(clusterBytes) + "-byte clusters; choose " +
             "--cluster " + std::to_string(outcome.suggestedUnit) + " or larger";
    case Refusal::kNoRootEntries:
      return "--root: at least 1 root directory entry";
    case Refusal::kSystemFilesUnusable:
      return "the system files of " + r.sysFiles + " do not fit the volume's clusters or root directory";
    case Refusal::kBeyondFat16:
      return r.target + " is too large for FAT16 with any cluster size (" + std::to_string(sectors) + " sectors)";
    default:
      return "the choices were refused";
  }
}

const char* StepName(RunStep step) {
  switch (step) {
    case RunStep::kMbr: return "the MBR";
    case RunStep::kBootRecord: return "the DBR";
    case RunStep::kFats: return "the FATs";
    default: return "the root directory";
  }
}

void PrintSummary(const FormatRequest& r, const UsbFormatVolume& laidOut, bool systemFilesCopied) {
  const UsbFormatOptions& o = r.options;
  const FatLayout& v = laidOut.volume;
  std::printf("formatted %s: FAT%d, %u sectors, %u FAT%s of %u sectors, %u-byte clusters, %u root entries",
              r.target.c_str(), v.fat16 ? 16 : 12, static_cast<unsigned>(v.totalSectors),
              static_cast<unsigned>(v.fatCount), v.fatCount == 1 ? "" : "s", static_cast<unsigned>(v.sectorsPerFat),
              static_cast<unsigned>(v.ClusterBytes()), static_cast<unsigned>(v.rootEntries));
  if (!o.label.empty()) std::printf(", label %s", CliPrintable(FromOemText(o.label)).c_str());
  if (laidOut.volumeStart) std::printf(", behind an MBR, from sector %u", static_cast<unsigned>(laidOut.volumeStart));
  if (o.fillDataArea) std::printf(", data area filled with %02X", o.fillByte);
  if (systemFilesCopied)
    std::printf(", with the system files of DOS %s", DosVersionName(o.dos));
  std::printf("\n");
}

// Tells the user what the format did: a summary only when every part of the request was carried out, else what
// failed and what state the target is in.
int ReportOutcome(const FormatRequest& r, const CliTarget& target, const RunOutcome& outcome,
                  const UsbFormatVolume& laidOut) {
  const std::string remedy = "the volume is incomplete, format it again";
  const RunStep step = outcome.failedStep;
  if (step == RunStep::kCapacity) return CliFail(CapacityText(r.target, outcome.sector, ""));
  if (outcome.stopped) {
    // What is complete: the steps before the one that was stopped; a stopped fill or transfer left the volume's
    // structure complete.
    const bool structure = step == RunStep::kNone || step == RunStep::kFill || step == RunStep::kSystemFiles ||
                           step == RunStep::kVerify;
    std::string done = structure               ? "the MBR, DBR, FATs and root directory are written"
                       : step == RunStep::kMbr ? "no part of the volume is complete"
                                               : std::string("the parts before ") + StepName(step) + " are written";
    const char* cut = step == RunStep::kFill          ? "; the data-area fill was cut short"
                      : step == RunStep::kSystemFiles ? "; the system files were not all copied"
                                                      : "";
    return CliFailRun(target, "the format of " + r.target + " stopped", done + cut + ": format it again");
  }
  if (step == RunStep::kVerify)
    return CliFailRun(target, "the check after writing found that sector " + std::to_string(outcome.sector) +
                                  " of " + r.target + " does not hold what was written to it; the disk may be " +
                                  "faulty or smaller than it claims",
                      "do not use the volume");
  if (step == RunStep::kLockVolumes) return CliFailRun(target, "a volume of " + r.target + " is in use", remedy);
  if (step == RunStep::kFill) return CliFailRun(target, "the data area of " + r.target + " could not be filled", remedy);
  if (step == RunStep::kSystemFiles)
    return CliFailRun(target, "the system files could not be copied into " + r.target, remedy);
  if (!outcome.Succeeded())
    return CliFailRun(target, std::string("writing ") + StepName(step) + " of " + r.target + " failed", remedy);
  PrintSummary(r, laidOut, r.options.dosBoot);
  return kExitDone;
}

int RunFormat(const std::vector<std::string>& args) {
  FormatRequest r;
  std::string error = ParseRequest(args, &r);
  if (!error.empty()) return CliUsage(error);
  if (r.options.dosBoot && !(error = CheckSysFiles(r)).empty()) return CliFail(error + "; nothing was written");
  CliTargetOptions targetOptions;
  targetOptions.yes = r.yes;
  CliTarget target;
  if (!OpenCliTarget(r.target, targetOptions, &target, &error)) return CliFail(error);
  if (target.sectorCount > UINT32_MAX)
    return CliFail(r.target + " is too large for FAT16 with any cluster size; nothing was written");
  const uint32_t sectors = static_cast<uint32_t>(target.sectorCount);
  // As the page opens: the unit the disk needs at least, for the root directory asked for.
  if (!r.clusterGiven)
    r.options.clusterBytes = MinimumAllocationUnit(sectors, r.options.rootEntries);
  CliSysFileStage stage;
  if (r.options.dosBoot && !(error = stage.Prepare(r.sysFiles)).empty())
    return CliFail(error + "; nothing was written");

  RunOutcome outcome;
  UsbFormatVolume laidOut;
  {
    DeviceHandle disk(OpenDevice(target.deviceName.c_str()));
    if (!disk.valid()) return CliFail("cannot open " + r.target + "; nothing was written");
    CliVerify(r.verify);
    outcome = RunUsbFormat(disk.get(), sectors, r.options, nullptr, &laidOut, CliRun());
  }
  if (outcome.failedStep == RunStep::kCheck)
    return CliFail(RefusalText(r, sectors, outcome) + "; nothing was written");
  RereadCliTarget(target);
  return ReportOutcome(r, target, outcome, laidOut);
}

const CliCommandRegistrar kRegisterFormat({
    "format",
    "  format TARGET [--fats 1|2] [--cluster BYTES] [--label TEXT] [--root N] [--fill HEX]\n"
    "                [--dos 6.22|7.1 --sysfiles DIR [--boot fdd|hdd|zip] [--mbr 32|63]] [--verify] [--yes]\n"
    "      Formats the whole TARGET as one FAT12 or FAT16 volume, as the USB disk format page does: DBR, FATs and\n"
    "      root directory; the rest is left as it was unless --fill gives a byte for the data area (its last\n"
    "      sector stays). Defaults: 2 FATs, 256 root entries (at most 512), the cluster size (512 to 65536\n"
    "      bytes) the page recommends for the disk, no label (up to 11 bytes in the disk's code page). FAT type and\n"
    "      size follow from the choices; a volume FAT16 cannot hold is refused before anything is written.\n"
    "      --dos makes the volume bootable with the system files in DIR (OS6A, OS6B, OS6C for DOS 6.22 or OS7A,\n"
    "      OS7B, OS7C for DOS 7.1, shown to the program as its SysFile folder). --boot hdd or zip puts an MBR in\n"
    "      front of the volume, which then starts at sector --mbr (32 by default, also its sectors per track);\n"
    "      fdd (the default) starts it at sector 0. An image file must exist; its size is the disk's size.\n"
    "      --verify first checks that TARGET keeps what is written across its whole size (a disk that claims more\n"
    "      than it holds is refused before anything is written) and reads back everything written at the end.",
    RunFormat,
});

}  // namespace
