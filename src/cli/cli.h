// The `korvane` command-line tool: the program's disk operations on Linux, over image files and removable USB
// block devices. A target is put into the simulated machine as physical drive 1, so the very same core code
// writes it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "floppy/floppy.h"

struct CliCommand {
  const char* name;
  const char* usage;    // one or more lines shown by --help
  int (*run)(const std::vector<std::string>& args);  // args after the command name; returns the exit status
};

// Registers a subcommand; used through a static CliCommandRegistrar in the command's own file.
struct CliCommandRegistrar {
  explicit CliCommandRegistrar(const CliCommand& command);
};

// The disk that a command works on.
struct CliTarget {
  std::string path;
  bool blockDevice = false;
  uint32_t sectorSize = 512;
  uint64_t sectorCount = 0;
  std::string vendor, model;  // block devices
  int diskNumber = 1;
  std::string deviceName = "physicaldrive1";  // its name in the simulated machine
};

struct CliTargetOptions {
  uint64_t createSectors = 0;  // an image file that does not exist is created with this many sectors (0: refuse)
  uint64_t minimumSectors = 0; // refuse smaller targets (0: no check)
  bool yes = false;            // skip the confirmation before a block device is overwritten
  bool readOnly = false;       // the command only reads: no confirmation
};

// Opens an image file or a removable USB block device as physical drive 1 of a fresh simulated machine.
// Block devices that are not on USB are refused; a block device is overwritten only after the user confirms
// (or with --yes). Returns false with a message in *error.
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
// the simulated machine's current directory (call it after OpenCliTarget, which resets the machine). The
// directory goes away with the object. Prepare returns an error text, empty on success.
struct CliSysFileStage {
  std::string directory, link;
  CliSysFileStage() = default;
  CliSysFileStage(const CliSysFileStage&) = delete;
  CliSysFileStage& operator=(const CliSysFileStage&) = delete;
  ~CliSysFileStage();
  std::string Prepare(const std::string& folder);
};

// Small argument helpers shared by the commands.
bool TakeFlag(std::vector<std::string>& args, const std::string& flag);
bool TakeOption(std::vector<std::string>& args, const std::string& option, std::string* value);
bool ParseUnsigned(const std::string& text, uint64_t* value);
int CliFail(const std::string& message);  // prints "korvane: <message>" to stderr, returns 1
