// `korvane blocks ls|put|get|rm|mkdir|rmdir` and `korvane files ...`: the files inside one floppy block, or inside
// the FAT volume of a floppy image, a standard edition disk or a general volume. DOS 8.3 names only, kept in the
// code page of --codepage: what the user types is UTF-8 and goes to the volume upper-cased and converted.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>
#include <vector>

#include "base/oemtext.h"
#include "base/texts.h"
#include "blocks/blocks.h"
#include "cli/cli.h"
#include "disk/sectorio.h"
#include "fatfiles/fatfiles.h"
#include "words/words.h"

namespace {

struct FilesAction {
  const char* name;
  const char* operands;  // after the target (and the block number)
  const char* options;
  const char* what;
  size_t minOperands, maxOperands;  // SIZE_MAX: any number
  bool writes;
};

const FilesAction kActions[] = {
    {"ls", "[DIR]", "", "lists a folder (the root folder by default): name, size, date, then the free space", 0, 1,
     false},
    {"put", "FILE...", " [--to DIR] [--as NAME] [--replace]",
     "copies files into the floppy (into DIR, default the root folder). Names must be DOS 8.3 names (at most 8\n"
     "      bytes, a dot and 3 more, in the code page of --codepage); --as NAME stores the one FILE under another name. A name that is taken is\n"
     "      refused unless --replace. Files that do not fit together are refused and nothing is written",
     1, SIZE_MAX, true},
    {"get", "NAME...", " [--to DIR] [--force]",
     "copies files out of the floppy into DIR (default the current directory); an existing file there is\n"
     "      overwritten only with --force",
     1, SIZE_MAX, false},
    {"rm", "NAME...", "", "deletes files (all of them or, when one is missing, none)", 1, SIZE_MAX, true},
    {"mkdir", "DIR", "", "makes a folder", 1, 1, true},
    {"rmdir", "DIR", "", "removes an empty folder", 1, 1, true},
};

const FilesAction* FindAction(const std::string& name) {
  for (const FilesAction& a : kActions)
    if (name == a.name) return &a;
  return nullptr;
}

std::string Usage(const FilesAction& a, bool blocks) {
  return std::string("  ") + (blocks ? "blocks " : "files ") + a.name + (blocks ? " TARGET N " : " TARGET ") +
         a.operands + a.options + (blocks ? " [--kind K]" : "") + (a.writes ? " [--yes]" : "") + "\n      " +
         a.what + ".";
}

struct FilesRequest {
  const FilesAction* action = nullptr;
  bool blocks = false;
  std::string target;
  uint32_t block = 0;
  FloppyKind kind = FloppyKind::k1440K;
  std::vector<std::string> operands;
  std::string to, as;
  std::vector<std::string> names;  // the volume's names in its code page: put's stored names, the others' operands
  std::string volumeTo;            // put's --to in the volume's code page
  bool haveTo = false, haveAs = false, replace = false, force = false, yes = false;
  const CliTarget* opened = nullptr;  // once the target is open
};

std::string ParseFilesRequest(std::vector<std::string> args, bool blocks, FilesRequest* r) {
  r->blocks = blocks;
  r->action = FindAction(args[0]);
  args.erase(args.begin());
  r->yes = TakeFlag(args, "--yes");
  r->replace = TakeFlag(args, "--replace");
  r->force = TakeFlag(args, "--force");
  r->haveTo = TakeOption(args, "--to", &r->to);
  r->haveAs = TakeOption(args, "--as", &r->as);
  std::string kind;
  if (blocks && TakeOption(args, "--kind", &kind)) {
    std::string error = ParseFloppyKindName(kind, &r->kind);
    if (!error.empty()) return error;
  }
  const std::string name = r->action->name;
  if ((r->replace || r->haveAs) && name != "put") return std::string(r->replace ? "--replace" : "--as") + " is for put only";
  if (r->force && name != "get") return "--force is for get only";
  if (r->haveTo && name != "put" && name != "get") return "--to is for put and get only";
  if (r->yes && !r->action->writes) return name + " writes nothing; --yes is not needed";
  for (const std::string& a : args)
    if (a.size() > 1 && a[0] == '-' && a[1] == '-') return "unexpected option '" + a + "'";
  const size_t before = blocks ? 2 : 1;
  if (args.size() < before) return name + " needs " + (blocks ? "TARGET and a block number N" : "TARGET");
  r->target = args[0];
  if (blocks) {
    uint64_t block = 0;
    if (!ParseUnsigned(args[1], &block) || block >= kMaxFloppyBlocks) return "N is a block number from 0 to 99";
    r->block = static_cast<uint32_t>(block);
  }
  r->operands.assign(args.begin() + static_cast<long>(before), args.end());
  if (r->operands.size() < r->action->minOperands || r->operands.size() > r->action->maxOperands)
    return name + " takes " + r->action->operands;
  if (r->haveAs && r->operands.size() != 1) return "--as names one file; put the others without it";
  return "";
}

// Every name and path the request gives the volume, in its code page; refused before the target is opened.
std::string VolumeNames(FilesRequest* r) {
  const bool put = r->action->name == std::string("put");
  if (put && r->haveTo) {
    std::string error = CliOemName(r->to, &r->volumeTo);
    if (!error.empty()) return error;
  }
  for (const std::string& operand : r->operands) {
    std::string name;
    std::string error = CliOemName(put ? (r->haveAs ? r->as : LastPathPart(operand)) : operand, &name);
    if (!error.empty()) return error;
    r->names.push_back(name);
  }
  return "";
}

std::string FatDateText(uint16_t date, uint16_t time) {
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u", 1980u + (date >> 9), (date >> 5) & 15u, date & 31u,
                time >> 11, (time >> 5) & 63u);
  return text;
}

SysTime HostTime(time_t when) {
  struct tm local;
  localtime_r(&when, &local);
  SysTime t{};
  t.year = static_cast<uint16_t>(local.tm_year + 1900);
  if (t.year < 1980) t = SysTime{1980, 1, 0, 1, 0, 0, 0, 0};  // FAT dates begin in 1980
  else if (t.year > 2107) t = SysTime{2107, 12, 0, 31, 23, 59, 58, 0};
  else {
    t.month = static_cast<uint16_t>(local.tm_mon + 1);
    t.day = static_cast<uint16_t>(local.tm_mday);
    t.hour = static_cast<uint16_t>(local.tm_hour);
    t.minute = static_cast<uint16_t>(local.tm_min);
    t.second = static_cast<uint16_t>(local.tm_sec);
  }
  return t;
}

time_t FatToHostTime(uint16_t date, uint16_t time) {
  struct tm local {};
  local.tm_year = 80 + (date >> 9);
  local.tm_mon = ((date >> 5) & 15) - 1;
  local.tm_mday = date & 31;
  local.tm_hour = time >> 11;
  local.tm_min = (time >> 5) & 63;
  local.tm_sec = (time & 31) * 2;
  local.tm_isdst = -1;
  return std::mktime(&local);
}

std::string Where(const FilesRequest& r) {
  return r.blocks ? "block " + std::to_string(r.block) + " of " + r.target : r.target;
}

// The files layer's message with the name it names decoded from the volume's code page.
std::string Message(const FatFilesResult& result) {
  FatFilesResult shown = result;
  shown.name = CliPrintable(FromOemText(result.name));
  return FatFilesMessage(shown);
}

int Failed(const FatFilesResult& result, const FilesRequest& r) {
  std::string text = Message(result);
  if (result.error == FatFilesError::kBadName && r.action->name == std::string("put"))
    text += " (--as NAME stores it under a short name)";
  if (!r.action->writes || !r.opened) return CliFail(text);
  return CliFailRun(*r.opened, text,
                    "the files that were there are whole; clusters the change took may be left unused (fsck.fat "
                    "frees them)");
}

int List(const FilesRequest& r, SysHandle disk, uint32_t start) {
  std::vector<FatFileEntry> entries;
  FatVolumeInfo info;
  const std::string path = r.names.empty() ? "" : r.names[0];
  FatFilesResult result = ListFatDirectory(disk, start, path, &entries);
  if (result.ok()) result = ReadFatVolumeInfo(disk, start, &info);
  if (!result.ok()) return Failed(result, r);
  unsigned files = 0, folders = 0;
  // Names and the label are the disk's bytes in its code page: decoded, and never a control byte to the terminal.
  for (const FatFileEntry& e : entries) {
    (e.directory ? folders : files)++;
    // Padded by the stored bytes: a character of two bytes (Chinese in 936) takes two columns.
    const std::string name = CliPrintable(FromOemText(e.name));
    const int pad = e.name.size() < 12 ? static_cast<int>(12 - e.name.size()) : 0;
    if (e.directory)
      std::printf("%s%*s %10s  %s\n", name.c_str(), pad, "", "<DIR>", FatDateText(e.date, e.time).c_str());
    else
      std::printf("%s%*s %10u  %s\n", name.c_str(), pad, "", e.size, FatDateText(e.date, e.time).c_str());
  }
  std::printf("%u files, %u folders; %llu bytes free of %llu%s%s\n", files, folders,
              static_cast<unsigned long long>(info.freeBytes), static_cast<unsigned long long>(info.totalBytes),
              info.label.empty() ? "" : "; label ", CliPrintable(FromOemText(info.label)).c_str());
  return 0;
}

bool ReadHostFile(const std::string& path, std::vector<uint8_t>* bytes, time_t* modified, std::string* error) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) {
    *error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    *error = path + " is not a file";
    return false;
  }
  if (st.st_size > 0xFFFFFFFFll) {
    *error = path + " is too large for a FAT volume";
    return false;
  }
  *modified = st.st_mtime;
  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (!in) {
    *error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  bytes->resize(static_cast<size_t>(st.st_size));
  bool ok = std::fread(bytes->data(), 1, bytes->size(), in) == bytes->size() && std::fgetc(in) == EOF;
  std::fclose(in);
  if (!ok) *error = "cannot read " + path + " (did it change while it was read?)";
  return ok;
}

int Put(const FilesRequest& r, SysHandle disk, uint32_t start) {
  std::vector<FatFileToAdd> files(r.operands.size());
  uint64_t bytes = 0;
  for (size_t i = 0; i < files.size(); ++i) {
    std::string error;
    time_t modified = 0;
    if (!ReadHostFile(r.operands[i], &files[i].data, &modified, &error)) return CliFail(error + "; nothing was written");
    files[i].name = r.names[i];
    files[i].modified = HostTime(modified);
    bytes += files[i].data.size();
  }
  FatFilesResult result = AddFatFiles(disk, start, r.volumeTo, files, r.replace, CliRun());
  if (!result.ok()) return Failed(result, r);
  for (const FatFileToAdd& f : files) {
    uint8_t name[11];
    MakeShortName(f.name, name, CliCodePage());
    std::printf("%s -> %s%s%s (%zu bytes)\n", LastPathPart(r.operands[&f - &files[0]]).c_str(), r.to.c_str(),
                r.to.empty() ? "" : "/", CliPrintable(FromOemText(ShortNameText(name))).c_str(), f.data.size());
  }
  std::printf("%zu files (%llu bytes) written into %s\n", files.size(), static_cast<unsigned long long>(bytes),
              Where(r).c_str());
  return 0;
}

// Writes count bytes at the descriptor's position; false with errno set.
bool WriteFully(int fd, const uint8_t* bytes, size_t count) {
  while (count > 0) {
    ssize_t n = ::write(fd, bytes, count);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      return false;
    }
    bytes += n;
    count -= static_cast<size_t>(n);
  }
  return true;
}

// Copies each file out in pieces straight into its host file. The host file is opened as every output file of
// korvane is (never the target itself, never through a dangling link) only once the file's chain has been found
// whole; a copy that stops part way removes the file it created, or says that the one it overwrote is incomplete.
int Get(const FilesRequest& r, SysHandle disk, uint32_t start) {
  const std::string folder = r.haveTo ? r.to : ".";
  FatReader reader(disk, start);  // the boot record, the FAT and the folders read once for all the files
  for (size_t i = 0; i < r.operands.size(); ++i) {
    const std::string& name = r.operands[i];  // as typed, UTF-8: the host file takes its last part
    const std::string out = folder + "/" + LastPathPart(name);
    struct stat st;
    if (!r.force && ::stat(out.c_str(), &st) == 0) return CliFail(out + " exists; nothing was overwritten (--force)");
    int fd = -1, writeError = 0;
    bool created = false;
    std::string refused;
    FatFileEntry entry;
    uint64_t bytes = 0;
    FatFileSink sink;
    sink.begin = [&](const FatFileEntry& e) {
      entry = e;
      fd = OpenCliOutputFile(out, *r.opened, false, &created, &refused);
      return fd >= 0;
    };
    sink.write = [&](const uint8_t* piece, size_t count) {
      if (!WriteFully(fd, piece, count)) {
        writeError = errno;
        return false;
      }
      bytes += count;
      return true;
    };
    FatFilesResult result = ReadFatFile(reader, r.names[i], sink);
    if (fd >= 0 && ::close(fd) != 0 && result.ok()) {
      writeError = errno;
      result.error = FatFilesError::kStopped;
    }
    if (fd < 0 && !refused.empty()) return CliFail(refused + "; nothing was written");
    if (!result.ok()) {
      std::string text = result.error == FatFilesError::kStopped && writeError
                             ? "cannot write " + out + ": " + std::strerror(writeError)
                             : Message(result);
      if (created) ::unlink(out.c_str());
      if (fd >= 0) text += created ? "; " + out + " was removed again" : "; " + out + " is incomplete";
      return CliFail(text);
    }
    struct utimbuf times;
    times.actime = times.modtime = FatToHostTime(entry.date, entry.time);
    ::utime(out.c_str(), &times);
    std::printf("%s -> %s (%llu bytes)\n", name.c_str(), out.c_str(), static_cast<unsigned long long>(bytes));
  }
  return 0;
}

int Change(const FilesRequest& r, SysHandle disk, uint32_t start) {
  const std::string action = r.action->name;
  FatFilesResult result;
  if (action == "rm") result = DeleteFatFiles(disk, start, r.names, CliRun());
  else if (action == "mkdir") result = MakeFatDirectory(disk, start, r.names[0], CliRun());
  else result = RemoveFatDirectory(disk, start, r.names[0], CliRun());
  if (!result.ok()) return Failed(result, r);
  if (action == "rm") std::printf("deleted %zu files from %s\n", r.operands.size(), Where(r).c_str());
  else std::printf("%s %s in %s\n", action == "mkdir" ? "made" : "removed", r.operands[0].c_str(), Where(r).c_str());
  return 0;
}

void PrintActions(bool blocks) {
  std::printf("usage:\n");
  for (const FilesAction& a : kActions) std::printf("%s\n", Usage(a, blocks).c_str());
}

int RunFiles(const std::vector<std::string>& args, bool blocks) {
  if (args.empty() || !FindAction(args[0])) {
    PrintActions(blocks);
    return kExitUsage;
  }
  FilesRequest r;
  std::string error = ParseFilesRequest(args, blocks, &r);
  if (!error.empty()) return CliUsage(error);
  if (!(error = VolumeNames(&r)).empty()) return CliFail(error + (r.action->writes ? "; nothing was written" : ""));
  CliTargetOptions options;
  options.yes = r.yes;
  options.readOnly = !r.action->writes;
  options.changes = r.blocks ? "Files in floppy block " + std::to_string(r.block) : "Files";
  CliTarget target;
  if (!OpenCliTarget(r.target, options, &target, &error)) return CliFail(error);
  r.opened = &target;
  uint32_t start = 0;
  if (blocks) {
    error = LocateFloppyBlock(target, r.block, r.kind, &start);
    if (!error.empty()) return CliFail(error + (r.action->writes ? "; nothing was written" : ""));
  } else if (!(error = LocateFirstVolume(target, &start)).empty()) {
    return CliFail(error + (r.action->writes ? "; nothing was written" : ""));
  }
  int status = 0;
  {
    DeviceHandle disk(OpenDevice(target.deviceName.c_str()));
    if (!disk.valid()) return CliFail("cannot open " + r.target);
    const std::string action = r.action->name;
    if (action == "ls") status = List(r, disk.get(), start);
    else if (action == "put") status = Put(r, disk.get(), start);
    else if (action == "get") status = Get(r, disk.get(), start);
    else status = Change(r, disk.get(), start);
  }
  if (r.action->writes) RereadCliTarget(target);
  return status;
}

int RunFilesCommand(const std::vector<std::string>& args) { return RunFiles(args, false); }

const CliCommandRegistrar kRegisterFiles({
    "files",
    "  files ls|put|get|rm|mkdir|rmdir TARGET ...\n"
    "      The files of the FAT12 or FAT16 volume of TARGET: a floppy image, a standard edition disk or a volume of\n"
    "      the USB disk format (its first partition). As the blocks file commands, without N and --kind;\n"
    "      korvane files ACTION --help tells more.",
    RunFilesCommand,
    [](const std::vector<std::string>& args) {
      if (!PrintFilesActionHelp(args, false)) PrintActions(false);
      return true;
    },
});

}  // namespace

bool IsFilesAction(const std::string& action) { return FindAction(action) != nullptr; }

bool PrintFilesActionHelp(const std::vector<std::string>& args, bool blocks) {
  const FilesAction* action = args.empty() ? nullptr : FindAction(args[0]);
  if (action) std::printf("usage:\n%s\n", Usage(*action, blocks).c_str());
  return action != nullptr;
}

int RunBlockFiles(const std::vector<std::string>& args) { return RunFiles(args, true); }
