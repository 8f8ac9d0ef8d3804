// The `korvane` command-line tool: the program's disk operations on Linux, over image files and removable USB
// block devices. A target becomes physical drive 1 of the seam over this machine's files and devices
// (src/sys/posix), so the very same core code writes it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "disk/runcontrol.h"
#include "floppy/floppy.h"

struct CliCommand {
  const char* name;
  const char* usage;    // one or more lines shown by --help
  int (*run)(const std::vector<std::string>& args);  // args after the command name; returns the exit status
  // With --help among the args: prints the usage of the subcommand they name and returns true, or returns false
  // to have `usage` printed. Null: `usage` always.
  bool (*subcommandHelp)(const std::vector<std::string>& args) = nullptr;
};

// Registers a subcommand; used through a static CliCommandRegistrar in the command's own file.
struct CliCommandRegistrar {
  explicit CliCommandRegistrar(const CliCommand& command);
};

// Runs a command with a run of its own (disk/runcontrol.h, CliRun): SIGINT and SIGTERM stop its run
// before the next write, and its progress goes to stderr while that is a terminal, unless args hold --quiet.
// With --help (or -h) among args it runs nothing: the usage goes to stdout and the status is kExitDone.
int RunCliCommand(const CliCommand& command, std::vector<std::string> args);
// A stop was asked for by SIGINT or SIGTERM.
bool CliInterrupted();
// The refusal of a disk that failed the capacity check at badSector (`where` names its place further), with the
// sectors whose old bytes the check could not put back.
std::string CapacityText(const std::string& target, uint64_t badSector, const std::string& where);
// Whether the run's capacity check (--verify) ran, and the sectors whose old bytes it could not put back. A check
// that put them all back leaves nothing in the target's write accounting.
bool CliCapacityChecked(std::vector<uint32_t>* notPutBack);
// "sector 5" or "sectors 5, 9 and 12".
std::string SectorListText(const std::vector<uint32_t>& sectors);
// Turns on the capacity check before and the read-back after the writes of the command's run.
void CliVerify(bool on);
// The run of the command in progress (null outside RunCliCommand); every writer a command calls is given it.
RunControl* CliRun();

// Exit statuses, the same for every command (korvane --help lists them).
constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;        // refused or failed; the message says whether anything was written
constexpr int kExitUsage = 2;         // the command line itself is wrong; nothing was looked at
constexpr int kExitInterrupted = 130; // stopped by SIGINT or SIGTERM

// The disk that a command works on.
struct CliTarget {
  std::string path;
  bool blockDevice = false;
  bool created = false;      // the image file did not exist before this run
  uint32_t sectorSize = 512;
  uint64_t sectorCount = 0;
  std::string vendor, model;  // block devices
  std::string deviceName = "physicaldrive1";  // its name through the seam
};

struct CliTargetOptions {
  uint64_t createSectors = 0;  // an image file that does not exist is created with this many sectors (0: refuse)
  uint64_t minimumSectors = 0; // refuse smaller targets (0: no check)
  uint64_t growToSectors = 0; // an image file shorter than this is extended to it (never shortened)
  bool yes = false;            // skip the confirmation before a block device is overwritten
  bool readOnly = false;       // the command only reads: opened for reading, no confirmation, a shared lock
  std::string changes;         // what the command changes ("Files in block 7"); empty: all data is lost
};

// Opens an image file or a removable USB block device as physical drive 1 of the seam, in place of any before.
// Refused: block devices that are not whole USB disks, disks with a mounted partition, FIFOs, sockets, character
// devices and dangling links. A target that is written is held exclusively for the whole run (an image file by an
// exclusive lock, a block device by an exclusive open), so a second korvane on it is refused at once; a read-only
// command opens it for reading under a shared lock. A block device is overwritten only after the user confirms
// (or with --yes). Returns false with a message in *error, nothing written and nothing created.
bool OpenCliTarget(const std::string& path, const CliTargetOptions& options, CliTarget* target, std::string* error);

// Has the kernel re-read a block device's partition table after it was written (nothing for image files).
void RereadCliTarget(const CliTarget& target);

// True when the block device lies on USB (sysfs); fills vendor and model.
bool IsUsbBlockDevice(const std::string& devicePath, std::string* vendor, std::string* model);

// The three DOS system files in `folder` (OS6A to OS6C for DOS 6.22, OS7A to OS7C for DOS 7.1) must be there,
// readable, not empty, and fit a floppy of `kind` together: checked before a target is touched, since the writer
// itself only traces what goes wrong with them. "" when they do, else what is wrong.
std::string CheckFloppySysFiles(const std::string& folder, DosVersion dos, FloppyKind kind);


// Shows a folder of DOS system files (OS6A .. OS6C, OS7A .. OS7C) to the program, which looks for them as SysFile
// under its current directory: Prepare makes a temporary directory whose SysFile links to the folder and makes it
// the program's current directory (sys/posix/posix.h). The directory goes away with the object. Prepare returns
// an error text, empty on success.
struct CliSysFileStage {
  std::string directory, link;
  CliSysFileStage() = default;
  CliSysFileStage(const CliSysFileStage&) = delete;
  CliSysFileStage& operator=(const CliSysFileStage&) = delete;
  ~CliSysFileStage();
  std::string Prepare(const std::string& folder);
};

// An output file of a command (a block exported into a file, a file copied out of a volume): never the target
// itself (a hard or symbolic link to it included), never created through a dangling link, never a FIFO, socket or
// character device, a block device only when it is a whole USB disk claimed and confirmed as a target is. Opened
// for writing and locked; *created tells whether it was made by this call. Returns the descriptor, or -1 with a
// message.
int OpenCliOutputFile(const std::string& path, const CliTarget& source, bool yes, bool* created, std::string* error);
// An input file of a command (an image to import): a regular file or a block device; FIFOs, sockets and
// character devices are refused, so reading it can never hang. Returns the descriptor, or -1 with a message.
int OpenCliInputFile(const std::string& path, std::string* error);

// Text from a disk or the user, made safe for a terminal: UTF-8 characters are kept; control characters (C0, DEL,
// C1) and bytes that are no UTF-8 are shown as \xNN, so no escape sequence reaches the terminal. Texts from a
// disk are decoded from its code page first (FromOemText), and bytes that do not decode show as \xNN too.
std::string CliPrintable(const std::string& text);

// --codepage N: the code page of labels, identifiers and 8.3 names on the disk, taken from the arguments of every
// command (RunCliCommand) and set on the seam, which converts with it. "" when fine, else what is wrong.
constexpr uint32_t kCliDefaultCodePage = 850;
std::string TakeCodePage(std::vector<std::string>& args);
uint32_t CliCodePage();
// A label, identifier or name the user typed, as the disk keeps it: its bytes in the code page. "" when it fits in
// maxBytes, else what is wrong (`what` begins the message: "the label").
std::string CliOemBytes(const std::string& text, size_t maxBytes, const std::string& what, std::string* bytes);
// A file name or path inside a volume as the user typed it, in the form the files layer takes: letters upper-cased
// (UpperCaseName), then in the code page of --codepage. "" when fine, else why it cannot be.
std::string CliOemName(const std::string& text, std::string* oem);

// Reports a run that failed once the target was opened, saying what state it is in: "nothing was written" when
// no sector was (an image file this run created is removed again), else which sectors were written and `remedy`.
// Prints what the program traced first. Returns kExitFailed, or kExitInterrupted when the run was stopped by a
// signal (the message then begins with "interrupted").
int CliFailRun(const CliTarget& target, const std::string& message, const std::string& remedy);

// The names in a folder, sorted, without those that begin with a dot; empty when it cannot be read.
std::vector<std::string> CliDirectoryEntries(const std::string& path);

// Where block n's floppy image starts on the target: the block area of its first partition as `blocks` sees it,
// the block checked to exist, to lie in the first 2 TiB and to hold a formatted floppy of the kind. "" when it
// does, else what is wrong.
std::string LocateFloppyBlock(const CliTarget& target, uint32_t block, FloppyKind kind, uint32_t* start);
// Where the volume of the target lies: its first partition, or sector 0 without a partition table.
std::string LocateFirstVolume(const CliTarget& target, uint32_t* start);
// `korvane blocks ls|put|get|rm|mkdir|rmdir`: args begin with the action.
int RunBlockFiles(const std::vector<std::string>& args);
bool IsFilesAction(const std::string& action);
// The usage of the files action args[0] names (of the blocks form with `blocks`); false when it names none.
bool PrintFilesActionHelp(const std::vector<std::string>& args, bool blocks);

// Small argument helpers shared by the commands.
bool TakeFlag(std::vector<std::string>& args, const std::string& flag);
bool TakeOption(std::vector<std::string>& args, const std::string& option, std::string* value);
bool ParseUnsigned(const std::string& text, uint64_t* value);
// "720K", "1.2M" or "1.44M" (any case) as a kind; "" when it is one, else what is wrong.
std::string ParseFloppyKindName(const std::string& text, FloppyKind* kind);
// Takes --dos 6.22|7.1 and --sysfiles DIR, which go together: the version (kDosNone without them) and the folder;
// an error text, empty when they are fine.
std::string TakeDosOptions(std::vector<std::string>& args, DosVersion* dos, std::string* sysFiles);
// "6.22" or "7.1".
const char* DosVersionName(DosVersion dos);
int CliFail(const std::string& message);   // prints "korvane: <message>" to stderr, returns kExitFailed
int CliUsage(const std::string& message);  // the same with a pointer to --help, returns kExitUsage
void CliPrintTrace();                      // what the program traced, for the user when something went wrong
