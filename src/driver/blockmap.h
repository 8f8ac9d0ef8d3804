/* Floppy block presentation of the Dunmarle disk filter: its four requests, their buffers and the rules that map
 * the disk's sectors to physical ones. Plain C, shared by the driver (src/driver) and the simulated machine
 * (src/sys/sim), so that the simulated driver follows the real one's rules.
 *
 * With block k presented and B sectors per block configured, sector x of the disk reaches physical sector
 * x + k*B. Block 0, no configuration yet (B = 0) and the hidden mode present the disk unchanged.
 *
 * Mode: 0 while the program's block page is in use, 1 while it is hidden behind another page. Hidden, the
 * program's other pages format the whole disk from sector 0, so the disk is presented unchanged until mode 0
 * comes back; the block stays selected and is presented again then. Those pages restart the volume when they
 * come to the front, so the system never keeps a block's file system mounted over the unchanged disk. */
#ifndef KORVANE_DRIVER_BLOCKMAP_H
#define KORVANE_DRIVER_BLOCKMAP_H

#include <stdint.h>

/* CTL_CODE(0, 0x400, method, 0) with the methods buffered, in direct, out direct and neither in turn. */
#define DUN_IOCTL_SELECT_BLOCK 0x1000u    /* buffered: DunSelectRequest in and out */
#define DUN_IOCTL_CONFIGURE_BLOCKS 0x1001u /* in direct: DunBlockConfig in; the output is not written */
#define DUN_IOCTL_PRESENCE 0x1002u         /* out direct: no buffer touched; completes with DUN_PRESENCE_MARK */
#define DUN_IOCTL_CURRENT_BLOCK 0x1003u    /* neither: the presented block (4 bytes) out */

#define DUN_PRESENCE_MARK 0x6B5Du    /* the transferred-byte count that says the filter is attached */
#define DUN_PRESENCE_BYTES 15u        /* what the program sends with the presence request */
#define DUN_CURRENT_BLOCK_BYTES 4u

#define DUN_MODE_IN_USE 0u
#define DUN_MODE_HIDDEN 1u

typedef struct DunSelectRequest {
  uint32_t block;
  uint32_t reserved; /* 0 */
} DunSelectRequest;

typedef struct DunBlockConfig {
  uint32_t mode;
  uint32_t sectorsPerBlock; /* 0: not configured */
  uint32_t firstSector;     /* block 0 starts here */
  uint32_t endSector;       /* the first sector after the block area */
} DunBlockConfig;

/* What the filter keeps per disk: the selected block and the last configuration. */
typedef struct DunBlockState {
  uint32_t block;
  DunBlockConfig config;
} DunBlockState;

typedef char DunSelectRequestIs8Bytes[sizeof(DunSelectRequest) == 8 ? 1 : -1];
typedef char DunBlockConfigIs16Bytes[sizeof(DunBlockConfig) == 16 ? 1 : -1];

/* Whether block `block` lies wholly inside the configured area and on a disk of `diskSectors` sectors. Without a
 * configuration every block is accepted (it is presented as the disk itself until one arrives). */
static inline int DunBlockFits(const DunBlockConfig* config, uint32_t block, uint64_t diskSectors) {
  uint64_t end, areaEnd;
  if (config->sectorsPerBlock == 0) return 1;
  /* At most 2^32 blocks of under 2^32 sectors after a first sector under 2^32: the sum fits in 64 bits. */
  end = (uint64_t)config->firstSector + ((uint64_t)block + 1) * config->sectorsPerBlock;
  areaEnd = config->endSector != 0 && config->endSector < diskSectors ? config->endSector : diskSectors;
  return end <= areaEnd;
}

/* Sectors between a disk sector and the physical one it reaches. */
static inline uint64_t DunShiftSectors(const DunBlockState* state) {
  if (state->config.sectorsPerBlock == 0 || state->config.mode != DUN_MODE_IN_USE) return 0;
  return (uint64_t)state->block * state->config.sectorsPerBlock;
}

/* Selects a block; 0 (nothing changed) when it does not fit. */
static inline int DunSelectBlock(DunBlockState* state, uint32_t block, uint64_t diskSectors) {
  if (!DunBlockFits(&state->config, block, diskSectors)) return 0;
  state->block = block;
  return 1;
}

/* Takes a configuration. A selected block that no longer fits the new area falls back to block 0, so the disk is
 * never presented from beyond the area. */
static inline void DunConfigure(DunBlockState* state, const DunBlockConfig* config, uint64_t diskSectors) {
  state->config = *config;
  if (!DunBlockFits(&state->config, state->block, diskSectors)) state->block = 0;
}

#define DUN_MAP_OK 0
#define DUN_MAP_PAST_END 1

/* Maps a transfer of `length` bytes at byte `offset` of the disk to its physical byte offset. A moved transfer
 * must end on the disk (`diskBytes`); the arithmetic is 64-bit and every sum is checked before it is made. An
 * unmoved transfer is left to the disk below, which knows its own end. */
static inline int DunMapTransfer(const DunBlockState* state, uint32_t sectorBytes, uint64_t diskBytes,
                                 uint64_t offset, uint64_t length, uint64_t* physical) {
  uint64_t shiftSectors = DunShiftSectors(state), shift;
  if (shiftSectors == 0) {
    *physical = offset;
    return DUN_MAP_OK;
  }
  if (sectorBytes == 0 || shiftSectors > diskBytes / sectorBytes) return DUN_MAP_PAST_END;
  shift = shiftSectors * sectorBytes; /* <= diskBytes */
  if (offset > diskBytes - shift || length > diskBytes - shift - offset) return DUN_MAP_PAST_END;
  *physical = offset + shift;
  return DUN_MAP_OK;
}

#endif
