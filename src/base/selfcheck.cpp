#include "base/selfcheck.h"

#include <atomic>

#include "boot/boot_programs.h"
#include "fat/floppy_kinds.h"

namespace {

std::atomic<bool> gForcedFailure{false};

// Reads through a volatile pointer so that the compiler cannot fold the check away against the constant tables.
uint32_t RuntimeChecksum(const unsigned char* data, size_t size) {
  const volatile unsigned char* p = data;
  uint32_t hash = 2166136261u;
  for (size_t i = 0; i < size; ++i) hash = (hash ^ p[i]) * 16777619u;
  return hash;
}

}  // namespace

bool SelfCheckPasses() {
  if (gForcedFailure.load()) return false;
  return RuntimeChecksum(kBootProgramDos622, sizeof kBootProgramDos622) == kBootProgramDos622Checksum &&
         RuntimeChecksum(kBootProgramDos71, sizeof kBootProgramDos71) == kBootProgramDos71Checksum &&
         RuntimeChecksum(kMbrProgram, sizeof kMbrProgram) == kMbrProgramChecksum &&
         FloppyGeometryChecksum(static_cast<const volatile FloppyGeometry*>(kFloppyGeometries), kFloppyKindCount) ==
             kFloppyGeometryChecksum;
}

void SelfCheckForceFailureForTesting(bool fail) { gForcedFailure.store(fail); }
