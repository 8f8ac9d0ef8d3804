// The program's integrity check of its embedded data: the boot programs and the fixed format tables must hold
// exactly the bytes the build put there. Cheap enough to run before every sector transfer.
#pragma once

#include <cstddef>
#include <cstdint>

// FNV-1a, 32 bits: the checksum the build computes for the embedded tables.
constexpr uint32_t Fnv1a(const uint8_t* data, size_t size, uint32_t hash = 2166136261u) {
  for (size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 16777619u;
  return hash;
}

// True when every embedded table still matches its build-time checksum.
bool SelfCheckPasses();

// Test seam: makes the next checks fail (a stand-in for a patched binary).
void SelfCheckForceFailureForTesting(bool fail);
