#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/cli.h"

namespace {

std::vector<CliCommand>& Commands() {
  static std::vector<CliCommand> commands;
  return commands;
}

void PrintHelp() {
  std::printf(
      "korvane %s - prepares USB flash disks and floppy images for floppy-drive emulators\n\n"
      "usage: korvane COMMAND [ARGS...]\n"
      "       korvane --help | --version\n"
      "       korvane COMMAND [ACTION] --help   (the usage of one command)\n\n"
      "TARGET is an image file or a whole removable USB disk (/dev/sdX). A USB disk is overwritten only after\n"
      "you confirm, or with --yes; disks that are not on USB are never touched.\n\n"
      "safety:\n"
      "  Every check that can refuse a run (sizes, counts, root entries, system files, the partition table,\n"
      "  sector numbers) is made before the first write; a refused run writes nothing. A run that fails after its\n"
      "  first write says which sectors it wrote and that the target must be written again; it never reports\n"
      "  success. Partitions, disks that are not on USB, USB disks with a mounted partition, FIFOs, sockets and\n"
      "  character devices are refused. A target being written is held exclusively (an image file by a lock, a\n"
      "  disk by an exclusive open), so a second korvane on it is refused at once; commands that only read open\n"
      "  their target for reading. Labels, identifiers and names read from a disk are printed with control\n"
      "  characters, and bytes that are no character of the code page, escaped as \\xNN.\n\n"
      "code page:\n"
      "  --codepage N, given to any command, names the code page labels, identifiers and 8.3 names are kept in\n"
      "  on the disk, as the machine that reads it has it: 850 (the default, as mtools), 437 (US DOS), 936\n"
      "  (Chinese Windows), ... A label or identifier with a character the code page lacks is refused.\n\n"
      "exit status:\n"
      "  0    done\n"
      "  1    refused or failed (the message says whether anything was written)\n"
      "  2    usage error: the command line is wrong, nothing was looked at\n"
      "  130  interrupted by SIGINT or SIGTERM: the transfer in progress is finished, nothing more is written,\n"
      "       and the message says which parts are complete and that the target must be written again\n\n"
      "progress:\n"
      "  Long runs show their progress on stderr (bytes, rate, time left) while it is a terminal; --quiet, given\n"
      "  to any command, leaves it out.\n\ncommands:\n",
      KORVANE_VERSION);
  for (const CliCommand& c : Commands()) std::printf("%s\n", c.usage);
}

}  // namespace

CliCommandRegistrar::CliCommandRegistrar(const CliCommand& command) { Commands().push_back(command); }

int main(int argc, char** argv) {
  if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h") || !std::strcmp(argv[1], "help")) {
    PrintHelp();
    return argc < 2 ? kExitUsage : kExitDone;
  }
  if (!std::strcmp(argv[1], "--version")) {
    std::printf("korvane %s\n", KORVANE_VERSION);
    return kExitDone;
  }
  for (const CliCommand& c : Commands())
    if (!std::strcmp(argv[1], c.name)) return RunCliCommand(c, std::vector<std::string>(argv + 2, argv + argc));
  return CliUsage("unknown command '" + CliPrintable(argv[1]) + "'");
}
