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
      "       korvane --help | --version\n\n"
      "TARGET is an image file or a whole removable USB disk (/dev/sdX). A USB disk is overwritten only after\n"
      "you confirm, or with --yes; disks that are not on USB are never touched.\n\ncommands:\n",
      KORVANE_VERSION);
  for (const CliCommand& c : Commands()) std::printf("%s\n", c.usage);
}

}  // namespace

CliCommandRegistrar::CliCommandRegistrar(const CliCommand& command) { Commands().push_back(command); }

int main(int argc, char** argv) {
  if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h") || !std::strcmp(argv[1], "help")) {
    PrintHelp();
    return argc < 2 ? 2 : 0;
  }
  if (!std::strcmp(argv[1], "--version")) {
    std::printf("korvane %s\n", KORVANE_VERSION);
    return 0;
  }
  for (const CliCommand& c : Commands())
    if (!std::strcmp(argv[1], c.name)) return c.run(std::vector<std::string>(argv + 2, argv + argc));
  std::fprintf(stderr, "korvane: unknown command '%s' (see korvane --help)\n", argv[1]);
  return 2;
}
