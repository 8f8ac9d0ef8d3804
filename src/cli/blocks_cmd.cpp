// `korvane blocks`: the enhanced edition's floppy blocks on an image file or a USB disk. Linux has no filter
// driver, so blocks are addressed by their physical sectors: block n at S + n x B, S being the start of the
// target's first partition (sector 0 when the target has no partition table), found by the same drive layout query
// the program uses.
#include <fcntl.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "blocks/blocks.h"
#include "cli/cli.h"
#include "disk/partition.h"
#include "disk/queries.h"
#include "disk/sectorio.h"
#include "floppy/floppy.h"
#include "words/words.h"

namespace {

struct BlocksRequest {
  std::string action;
  std::string target;
  FloppyKind kind = FloppyKind::k1440K;
  bool yes = false;
  uint32_t block = 0;       // label, export, import: the (first) block
  uint32_t lastBlock = 0;   // export: the last block of N-M
  bool range = false;       // export N-M into a folder
  std::string text;         // label: the identifier; export: the image file or folder
  std::vector<std::string> files;  // import: the image files, one block each
  bool force = false;       // import: images that are no floppy of the kind; export: over existing files
  uint64_t count = 0;       // format
  DosVersion dos = kDosNone;
  std::string sysFiles;
  bool verify = false;      // format
};

// The block area as the program sees it.
struct BlockArea {
  uint64_t start = 0, length = 0;
  uint32_t blocks = 0;  // blocks that fit, at most 100
};

// Fills the request from the arguments; returns an error text, empty when they are fine.
std::string ParseRequest(std::vector<std::string> args, BlocksRequest* r) {
  if (args.empty()) return "blocks needs an action: format, list, label, export or import";
  r->action = args[0];
  args.erase(args.begin());
  r->yes = TakeFlag(args, "--yes");
  std::string kind = "1.44M", count;
  TakeOption(args, "--kind", &kind);
  std::string error = ParseFloppyKindName(kind, &r->kind);
  if (!error.empty()) return error;
  size_t operands = 1;
  if (r->action == "format") {
    if (!TakeOption(args, "--count", &count) || !ParseUnsigned(count, &r->count)) return "format needs --count N";
    r->verify = TakeFlag(args, "--verify");
    if (!(error = TakeDosOptions(args, &r->dos, &r->sysFiles)).empty()) return error;
  } else if (r->action == "label" || r->action == "export" || r->action == "import") {
    operands = 3;
    if (r->action != "label") r->force = TakeFlag(args, "--force");
    if (r->action == "import") r->verify = TakeFlag(args, "--verify");
  } else if (r->action != "list") {
    return "unknown blocks action '" + r->action +
           "' (format, list, label, export, import, ls, put, get, rm, mkdir or rmdir)";
  }
  for (const std::string& a : args)
    if (a.size() > 1 && a[0] == '-' && a[1] == '-') return "unexpected option '" + a + "'";
  const bool manyFiles = r->action == "import";
  if (args.size() != operands && !(manyFiles && args.size() > operands))
    return r->action + (operands == 1 ? " takes a TARGET"
                        : r->action == "label"  ? " takes TARGET N TEXT"
                        : r->action == "import" ? " takes TARGET N FILE..."
                                                : " takes TARGET N FILE or TARGET N-M FOLDER");
  r->target = args[0];
  if (operands == 3) {
    std::string first = args[1], last;
    const size_t dash = r->action == "export" ? first.find('-') : std::string::npos;
    if (dash != std::string::npos) {
      last = first.substr(dash + 1);
      first.resize(dash);
      r->range = true;
    }
    uint64_t block = 0, lastBlock = 0;
    if (!ParseUnsigned(first, &block) || block >= kMaxFloppyBlocks) return "N is a block number from 0 to 99";
    if (r->range && (!ParseUnsigned(last, &lastBlock) || lastBlock >= kMaxFloppyBlocks || lastBlock < block))
      return "N-M are block numbers from 0 to 99, M not below N";
    r->block = static_cast<uint32_t>(block);
    r->lastBlock = r->range ? static_cast<uint32_t>(lastBlock) : r->block;
    r->text = args[2];
    r->files.assign(args.begin() + 2, args.end());
  }
  return "";
}

// The identifier as the page's upper-case edit would hold it: no control character, ASCII letters in upper case,
// and at most 8 bytes in the disk's code page (4 Chinese characters in 936).
std::string CheckIdentifier(std::string* text) {
  if (text->empty()) return "the identifier is empty";
  if (CliPrintable(*text) != *text) return "an identifier holds no control characters";
  for (char& c : *text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return CliOemBytes(*text, kMaxIdentifierLength, "the identifier", nullptr);
}

// The block area as the program finds it (the first entry of the drive layout). Sector 0 is read first: a partition
// table none of whose slots describes a partition of the disk is refused rather than taken for no table, which
// would put block 0 over it; so is a table whose first slot is empty, where the program finds no area at all.
bool FindBlockArea(const CliTarget& target, FloppyKind kind, BlockArea* area, std::string* error) {
  uint8_t sector[kSectorSize] = {};
  {
    DeviceHandle disk(OpenDevice(target.deviceName.c_str()));
    if (!disk.valid() || (target.sectorCount > 0 && ReadSectors(disk.get(), 0, 1, sector) != SectorIo::kOk)) {
      *error = "cannot read sector 0 of " + target.path;
      return false;
    }
  }
  PartitionTable table = ReadPartitionTable(sector, target.sectorCount);
  if (table.kind == PartitionTableKind::kNoValidEntry) {
    *error = target.path + " has a partition table (55 AA in sector 0) with no valid entry: no slot describes a " +
             "partition inside the disk. korvane does not guess where its floppy blocks lie; make a partition " +
             "or format the whole disk first";
    return false;
  }
  if (table.kind == PartitionTableKind::kTable && table.firstValid != 0) {
    *error = "the first slot of " + target.path + "'s partition table is empty (its first partition is in slot " +
             std::to_string(table.firstValid + 1) + "); floppy blocks lie in the partition of the first slot";
    return false;
  }
  uint32_t bytesPerSector = 0, sectorCount = 0;
  QueryCapacityAndLayout(target.deviceName.c_str(), &bytesPerSector, &sectorCount, &area->start, &area->length);
  area->blocks = FloppyBlockCount(area->length, kind);
  return true;
}

std::string NoRoom(const BlocksRequest& r, const BlockArea& area) {
  return "the block area of " + r.target + " (" + std::to_string(area.length) + " sectors from sector " +
         std::to_string(area.start) + ") holds no " + FloppyKindName(r.kind) + " floppy block";
}

// The first sector of the block, refused when the block's image would reach past the last 32-bit sector number.
bool AddressableBlock(const BlocksRequest& r, const BlockArea& area, uint32_t* start, std::string* error) {
  if (r.block >= area.blocks) {
    *error = area.blocks == 0 ? NoRoom(r, area)
                              : "block " + std::to_string(r.block) + " does not exist: " + r.target + " has room for " +
                                    std::to_string(area.blocks) + " " + FloppyKindName(r.kind) + " blocks (0 to " +
                                    std::to_string(area.blocks - 1) + ")";
    return false;
  }
  if (!FloppyBlockStart(area.start, r.block, r.kind, start) ||
      uint64_t{*start} + GeometryOf(r.kind).totalSectors > kFirstUnaddressableSector) {
    *error = "block " + std::to_string(r.block) + " lies beyond the first 2 TiB of " + r.target;
    return false;
  }
  return true;
}

std::string OneLine(std::string text) {
  for (size_t at; (at = text.find("\r\n")) != std::string::npos;) text.replace(at, 2, " ");
  return text;
}

// A read-back after the last block found a sector that does not hold what was written.
int ReadBackFailed(const BlocksRequest& r, const CliTarget& target, const RunOutcome& result) {
  return CliFailRun(target, "the check after writing found that sector " + std::to_string(result.sector) +
                                " (floppy block " + std::to_string(result.failedUnit) +
                                ") does not hold what was written to it; " + r.target +
                                " may be faulty or smaller than it claims",
                    "do not use the blocks");
}

int Format(const BlocksRequest& r, const CliTarget& target, const BlockArea& area) {
  if (area.blocks == 0) return CliFail(NoRoom(r, area) + "; nothing was written");
  uint32_t count = r.count < area.blocks ? static_cast<uint32_t>(r.count) : area.blocks;
  if (count < r.count)
    std::fprintf(stderr, "korvane: %s has room for %u %s blocks; formatting %u\n", r.target.c_str(), area.blocks,
                 FloppyKindName(r.kind), count);
  CliSysFileStage stage;
  std::string error;
  if (r.dos != kDosNone && !(error = stage.Prepare(r.sysFiles)).empty()) return CliFail(error + "; nothing was written");

  BlockFormatOptions options;
  options.kind = r.kind;
  options.dos = r.dos;
  CliVerify(r.verify);
  const RunOutcome result =
      FormatFloppyBlocks(target.deviceName.c_str(), area.start, 0, count, true, options, nullptr, CliRun());
  RereadCliTarget(target);
  if (result.refusal == Refusal::kSystemFilesUnusable)
    return CliFailRun(target, "the system files of " + r.sysFiles + " do not fit a floppy block", "");
  const std::string blockText = "floppy block " + std::to_string(result.failedUnit);
  if (result.failedStep == RunStep::kCapacity)
    return CliFail(CapacityText(r.target, result.sector, " (" + blockText + ")"));
  const std::string complete = result.completed == 0 ? "no block is complete"
                                                     : "blocks 0 to " + std::to_string(result.completed - 1) +
                                                           " are complete";
  if (result.stopped)
    return CliFailRun(target, "the format stopped at " + blockText,
                      complete + "; " + blockText +
                          (result.FailedWriting() ? " was cut short (it has no valid DBR)" : " was not begun") +
                          " and the blocks after it hold what they held: format the blocks again");
  if (result.failedStep == RunStep::kVerify) return ReadBackFailed(r, target, result);
  if (!result.Succeeded()) {
    const std::string failed = result.FailedWriting() ? blockText + " could not be written completely"
                                                      : "the floppy blocks could not be written";
    return CliFailRun(target, failed,
                      std::to_string(result.completed) + " blocks before it are complete; block " +
                          std::to_string(result.failedUnit) + " is not, format the blocks again");
  }
  if (result.completed == 0) {
    std::printf("formatted no floppy blocks of %s\n", r.target.c_str());
    return 0;
  }
  std::printf("formatted %u %s floppy blocks (FLPPY0 to FLPPY%u) from sector %llu of %s\n", result.completed,
              FloppyKindName(r.kind), result.completed - 1, static_cast<unsigned long long>(area.start),
              r.target.c_str());
  return 0;
}

int List(const BlocksRequest& r, const CliTarget& target, const BlockArea& area) {
  BlockList list = ReadBlockList(target.deviceName.c_str(), area.start, area.length, r.kind);
  // Identifiers come from the disk: a control byte in one must not reach the terminal as one.
  for (const std::string& entry : list.entries) std::printf("%s\n", CliPrintable(entry).c_str());
  std::printf("valid blocks: %u\n", list.validBlockCount);
  return 0;
}

// "" when the block at `start` holds a floppy image of the request's kind, else what is wrong.
std::string CheckFormattedBlock(const BlocksRequest& r, const CliTarget& target, uint32_t start) {
  DeviceHandle disk(OpenDevice(target.deviceName.c_str()));
  uint8_t dbr[kSectorSize];
  if (!disk.valid() || ReadSectors(disk.get(), start, 1, dbr) != SectorIo::kOk)
    return "cannot read block " + std::to_string(r.block) + " of " + r.target;
  if (!IsValidBlockBootRecord(dbr, r.kind))
    return "block " + std::to_string(r.block) + " is not a formatted " + FloppyKindName(r.kind) + " floppy block";
  return "";
}

int Label(BlocksRequest r, const CliTarget& target, const BlockArea& area) {
  std::string error = CheckIdentifier(&r.text);
  uint32_t start = 0;
  if (!error.empty() || !AddressableBlock(r, area, &start, &error)) return CliFail(error + "; nothing was written");
  if (!(error = CheckFormattedBlock(r, target, start)).empty()) return CliFail(error + "; nothing was written");
  // Without the driver, the block's own start stands where the presented block's partition start would.
  BlockIdentify done = ModifyFloppyIdentify(target.deviceName.c_str(), start, r.kind, r.text, "");
  RereadCliTarget(target);
  const std::optional<BlockNotice> notice = BlockIdentifyNotice(done);
  if (!done.result)
    return CliFailRun(target, OneLine(notice ? notice->text : "the identifier was not changed"),
                      "block " + std::to_string(r.block) + "'s root directory may be damaged, format the block again");
  std::printf("block %u: identifier %s\n", r.block, CliPrintable(r.text).c_str());
  return 0;
}

// Writes all of bytes at offset 0 of fd; false with errno set.
bool WriteAll(int fd, const std::vector<uint8_t>& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return ::fsync(fd) == 0 || errno == EINVAL;
}

// "block 5" or "blocks 5 to 7".
std::string BlocksText(uint32_t first, uint32_t last) {
  return first == last ? "block " + std::to_string(first)
                       : "blocks " + std::to_string(first) + " to " + std::to_string(last);
}

// Reads block `block`'s image; "" when done, else what is wrong.
std::string ReadBlock(const BlocksRequest& r, const CliTarget& target, const BlockArea& area, uint32_t block,
                      std::vector<uint8_t>* image) {
  BlocksRequest one = r;
  one.block = block;
  uint32_t start = 0;
  std::string error;
  if (!AddressableBlock(one, area, &start, &error)) return error;
  DeviceHandle disk(OpenDevice(target.deviceName.c_str()));
  if (!disk.valid() || ReadBlockImage(disk.get(), start, r.kind, image) != SectorIo::kOk)
    return "cannot read block " + std::to_string(block) + " of " + r.target;
  return "";
}

// Writes an exported image into path; "" when done, else what is wrong (a file this call created is removed).
std::string WriteExport(const BlocksRequest& r, const CliTarget& target, const std::string& path,
                        const std::vector<uint8_t>& image) {
  bool created = false;
  std::string error;
  int out = OpenCliOutputFile(path, target, r.yes, &created, &error);
  if (out < 0) return error;
  bool written = WriteAll(out, image);
  int writeError = errno;
  if (::close(out) != 0 && written) {
    written = false;
    writeError = errno;
  }
  if (written) return "";
  if (created) ::unlink(path.c_str());
  return "cannot write " + path + ": " + std::strerror(writeError) +
         (created ? " (it was removed again)" : " (it is incomplete)");
}

// One block into a file, or blocks N to M into a folder as NNN-IDENTIFIER.img. Files that exist are refused before
// anything is written, unless --force.
int Export(const BlocksRequest& r, const CliTarget& target, const BlockArea& area) {
  std::vector<uint8_t> image;
  std::vector<std::string> paths;
  std::string error;
  if (!r.range) {
    paths.push_back(r.text);
  } else {
    struct stat st {};
    if (::stat(r.text.c_str(), &st) == 0 && !S_ISDIR(st.st_mode))
      return CliFail(r.text + " is not a folder; nothing was written");
    for (uint32_t block = r.block; block <= r.lastBlock; ++block) {
      if (!(error = ReadBlock(r, target, area, block, &image)).empty()) return CliFail(error + "; nothing was written");
      paths.push_back(r.text + (r.text.back() == '/' ? "" : "/") + BlockImageFileName(block, image));
    }
  }
  struct stat source {};
  const bool sourceKnown = ::stat(target.path.c_str(), &source) == 0;
  for (const std::string& path : paths) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    if (sourceKnown && st.st_dev == source.st_dev && st.st_ino == source.st_ino)
      return CliFail(path + " is " + target.path + " itself; write into another file");
    if (!r.force) return CliFail(path + " exists; nothing was written (--force writes over it)");
  }
  if (r.range && ::mkdir(r.text.c_str(), 0777) != 0 && errno != EEXIST)
    return CliFail("cannot make the folder " + r.text + ": " + std::strerror(errno) + "; nothing was written");
  for (uint32_t block = r.block; block <= r.lastBlock; ++block) {
    const std::string& path = paths[block - r.block];
    if ((error = ReadBlock(r, target, area, block, &image)).empty()) error = WriteExport(r, target, path, image);
    if (!error.empty())
      return CliFail(error + (block == r.block ? "; nothing was exported"
                                               : "; " + BlocksText(r.block, block - 1) + " were exported"));
    std::printf("block %u exported to %s (%zu bytes)\n", block, path.c_str(), image.size());
  }
  return 0;
}

// Reads a whole image file of at most `limit` bytes (one more tells that it is larger) and its size; false with a
// message.
bool ReadImageFile(const std::string& path, size_t limit, std::vector<uint8_t>* bytes, uint64_t* size,
                   std::string* error) {
  int in = OpenCliInputFile(path, error);
  if (in < 0) return false;
  const off_t end = ::lseek(in, 0, SEEK_END);
  if (end < 0 || ::lseek(in, 0, SEEK_SET) != 0) {
    *error = "cannot read " + path + ": " + std::strerror(errno);
    ::close(in);
    return false;
  }
  bytes->resize(limit + 1);
  size_t got = 0;
  while (got < bytes->size()) {
    ssize_t n = ::read(in, bytes->data() + got, bytes->size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *error = "cannot read " + path + ": " + std::strerror(errno);
      ::close(in);
      return false;
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  ::close(in);
  bytes->resize(got);
  *size = got > limit ? static_cast<uint64_t>(end) : got;
  return true;
}

std::string ImportRefusal(const BlocksRequest& r, const BlockArea& area, const RunOutcome& result,
                          uint64_t imageBytes, const std::string& readError) {
  const uint32_t last = r.block + static_cast<uint32_t>(r.files.size()) - 1;
  const size_t image = result.failedUnit - r.block;
  const std::string file = r.files[image < r.files.size() ? image : 0];
  const std::string kind = FloppyKindName(r.kind);
  switch (result.refusal) {
    case Refusal::kNoBlock: return NoRoom(r, area);
    case Refusal::kPastLastBlock:
      return BlocksText(r.block, last) + " would run past the last block of " + r.target + " (block " +
             std::to_string(area.blocks - 1) + " is its last " + kind + " block)";
    case Refusal::kUnaddressable:
      return BlocksText(r.block, last) + " would lie beyond the first 2 TiB of " + r.target;
    case Refusal::kImageUnreadable: return readError;
    case Refusal::kImageWrongSize:
      return file + " is not a " + kind + " floppy image: it holds " + std::to_string(imageBytes) + " bytes, a " +
             kind + " image holds " + std::to_string(uint64_t{GeometryOf(r.kind).totalSectors} * kSectorSize);
    case Refusal::kNotFloppy:
      return file + " holds no " + kind + " floppy DBR (55 AA and the kind's total sectors) in its first sector: " +
             "the block scan would end at its block and hide every block after it (--force writes it anyway)";
    default: break;
  }
  return "";
}

int Import(const BlocksRequest& r, const CliTarget& target, const BlockArea& area) {
  std::string readError;
  uint64_t imageBytes = 0;  // the size of the image read last: the one a refusal names
  BlockImageReader read = [&](size_t i, size_t limit, std::vector<uint8_t>* bytes, uint64_t* size) {
    *size = 0;
    const bool ok = ReadImageFile(r.files[i], limit, bytes, size, &readError);
    imageBytes = *size;
    return ok;
  };
  BlockImportOptions options;
  options.kind = r.kind;
  options.force = r.force;
  CliVerify(r.verify);
  const RunOutcome result = ImportBlockImages(target.deviceName.c_str(), area.start, area.length, r.block,
                                              r.files.size(), read, options, CliRun());
  if (result.failedStep == RunStep::kCheck)
    return CliFail(ImportRefusal(r, area, result, imageBytes, readError) + "; nothing was written");
  RereadCliTarget(target);
  const std::string blockText = "floppy block " + std::to_string(result.failedUnit);
  if (result.failedStep == RunStep::kCapacity)
    return CliFail(CapacityText(r.target, result.sector, " (" + blockText + ")"));
  const std::string complete = result.completed == 0 ? "no block is complete"
                               : result.completed == 1
                                   ? "block " + std::to_string(r.block) + " is complete"
                                   : BlocksText(r.block, r.block + result.completed - 1) + " are complete";
  if (result.failedStep == RunStep::kVerify) return ReadBackFailed(r, target, result);
  if (!result.Succeeded()) {
    const bool changed = result.failedStep == RunStep::kReadImage;
    std::string what = result.failedStep == RunStep::kOpen ? "cannot open " + r.target
                       : result.stopped ? "the import stopped at " + blockText
                       : changed ? r.files[result.failedUnit - r.block] + " changed while it was imported: " +
                                       (readError.empty() ? "it is no longer what was checked" : readError)
                                 : "writing " + blockText + " of " + r.target + " failed";
    return CliFailRun(target, what,
                      complete + "; " + blockText +
                          (result.FailedWriting() ? " was cut short (it has no valid DBR)" : " was not begun") +
                          " and the blocks after it hold what they held: import them again");
  }
  for (size_t i = 0; i < r.files.size(); ++i)
    std::printf("%s imported into block %zu\n", r.files[i].c_str(), r.block + i);
  return 0;
}

int RunBlocks(const std::vector<std::string>& args) {
  if (!args.empty() && IsFilesAction(args[0])) return RunBlockFiles(args);
  BlocksRequest r;
  std::string error = ParseRequest(args, &r);
  if (!error.empty()) return CliUsage(error);
  if (r.dos != kDosNone && !(error = CheckFloppySysFiles(r.sysFiles, r.dos, r.kind)).empty())
    return CliFail(error + "; nothing was written");
  CliTargetOptions options;
  options.yes = r.yes;
  options.readOnly = r.action == "list" || r.action == "export";
  if (r.action == "import")
    options.changes = "Floppy " + BlocksText(r.block, r.block + static_cast<uint32_t>(r.files.size()) - 1);
  CliTarget target;
  if (!OpenCliTarget(r.target, options, &target, &error)) return CliFail(error);
  BlockArea area;
  if (!FindBlockArea(target, r.kind, &area, &error))
    return CliFail(error + (options.readOnly ? "" : "; nothing was written"));
  if (r.action == "format") return Format(r, target, area);
  if (r.action == "list") return List(r, target, area);
  if (r.action == "label") return Label(r, target, area);
  if (r.action == "export") return Export(r, target, area);
  return Import(r, target, area);
}

const CliCommandRegistrar kRegisterBlocks({
    "blocks",
    "  blocks format TARGET --count N [--kind 720K|1.2M|1.44M] [--dos 6.22|7.1 --sysfiles DIR] [--verify]\n"
    "                [--yes]\n"
    "  blocks list TARGET [--kind K]\n"
    "  blocks label TARGET N TEXT [--kind K] [--yes]\n"
    "  blocks export TARGET N FILE|N-M FOLDER [--kind K] [--force] [--yes]\n"
    "  blocks import TARGET N FILE... [--kind K] [--force] [--verify] [--yes]\n"
    "      The enhanced edition's floppy blocks: up to 100 floppy images of one kind (default 1.44M) back to back\n"
    "      from the start of TARGET's first partition, or of TARGET when it has no partition table; 720K blocks\n"
    "      take 1 MiB, 1.2M and 1.44M blocks 1.5 MiB. format writes blocks 0 to N-1 labelled FLPPY0, FLPPY1, ...\n"
    "      (N is cut to the blocks that fit); --dos makes each bootable with the system files of DIR (see floppy).\n"
    "      --verify first checks that TARGET keeps what is written across the blocks' area (a disk that claims\n"
    "      more than it holds is refused before any block is written) and reads every block back at the end.\n"
    "      list shows each block's identifier up to the first block that is not a floppy of the kind, then the\n"
    "      number of valid blocks. label renames block N's identifier to TEXT (at most 8 bytes in the disk's code\n"
    "      page, see --codepage; letters taken in upper case). export copies block N into FILE as a floppy image\n"
    "      file (never TARGET itself; a USB disk only after you confirm), or blocks N to M into FOLDER as\n"
    "      007-FLPPY7.img, 008.img (no identifier), ...; an existing file is refused unless --force. import\n"
    "      writes the image files into blocks N, N+1, ... in order, each exactly the kind's size; all are checked\n"
    "      before the first write, and one whose first sector is no floppy DBR of the kind is refused unless\n"
    "      --force (the block list would end at it). A partition table with no valid entry, or with an empty\n"
    "      first slot, is refused.\n"
    "  blocks ls|put|get|rm|mkdir|rmdir TARGET N ... [--kind K]\n"
    "      The files inside block N: list a folder, copy files in (put FILE... [--to DIR] [--as NAME]) and out\n"
    "      (get NAME... [--to DIR]), delete them, make and remove folders. DOS 8.3 names only; korvane blocks\n"
    "      ACTION --help tells more.",
    RunBlocks,
    [](const std::vector<std::string>& args) { return PrintFilesActionHelp(args, true); },
});

}  // namespace

std::string LocateFloppyBlock(const CliTarget& target, uint32_t block, FloppyKind kind, uint32_t* start) {
  BlocksRequest r;
  r.target = target.path;
  r.block = block;
  r.kind = kind;
  BlockArea area;
  std::string error;
  if (!FindBlockArea(target, kind, &area, &error) || !AddressableBlock(r, area, start, &error)) return error;
  return CheckFormattedBlock(r, target, *start);
}

std::string LocateFirstVolume(const CliTarget& target, uint32_t* start) {
  BlockArea area;
  std::string error;
  if (!FindBlockArea(target, FloppyKind::k1440K, &area, &error)) return error;
  if (area.start >= kFirstUnaddressableSector) return "the first partition of " + target.path + " lies beyond 2 TiB";
  *start = static_cast<uint32_t>(area.start);
  return "";
}
