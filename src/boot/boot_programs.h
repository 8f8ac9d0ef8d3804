#pragma once
#include <cstdint>

// Real-mode boot programs assembled from src/boot/*.asm at build time.
// The two DBR programs are the bytes at offsets 62..509 of a boot sector;
// the MBR program is the bytes at offsets 0..444 of sector 0.
extern const unsigned char kBootProgramDos622[448];
extern const unsigned char kBootProgramDos71[448];
extern const unsigned char kMbrProgram[445];

// FNV-1a 32-bit checksums of the three tables, computed at build time by the generator
// (h = 2166136261; for each byte: h ^= b; h *= 16777619 mod 2^32)
extern const uint32_t kBootProgramDos622Checksum;
extern const uint32_t kBootProgramDos71Checksum;
extern const uint32_t kMbrProgramChecksum;
