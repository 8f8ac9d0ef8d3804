/* A host for the filter driver image inside a Windows test program: Wine's ntoskrnl runs it in-process above an
 * in-memory disk whose driver lives here. Plain C, so the kernel headers stay in driver_host.c. Status results
 * are NTSTATUS values; `information` receives the request's transferred count. */
#ifndef KORVANE_TESTS_DRIVER_HOST_H
#define KORVANE_TESTS_DRIVER_HOST_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* What the disk below the filter has seen. The filter's own size queries are counted apart. */
typedef struct DriverHostLog {
  uint32_t controlCode; /* the last control code passed down to the disk */
  uint32_t controlCount;
  uint32_t sizeQueries;
  uint32_t transfers;
  int64_t lastOffset; /* of the last read or write */
  uint32_t lastLength;
  uint32_t pnpCount;
  uint8_t lastPnp;
  uint32_t powerCount;
  uint32_t systemControlCount;
} DriverHostLog;

/* Loads the image and creates its driver object; once per process. 0 when done. */
int DriverHostLoad(const char* path);
/* A fresh zeroed disk of `sectors` 512-byte sectors with the filter attached in AddDevice and started. Without the
 * length query the disk answers as Windows 2000 does. 0 when done. */
int DriverHostAttach(uint64_t sectors, int answersLengthQuery);
/* The removal as the plug and play manager sends it, then the disk goes too. */
long DriverHostRemove(void);
/* The disk alone, after a removal sent by the test. */
void DriverHostDeleteDisk(void);
uint8_t* DriverHostImage(void);
DriverHostLog DriverHostDiskLog(void);

long DriverHostTransfer(int write, int64_t offset, void* buffer, uint32_t length, uint64_t* information);
/* `userMode`: the request comes from a program, whose pointers the filter must not trust. */
long DriverHostControl(uint32_t code, void* in, uint32_t inLength, void* out, uint32_t outLength, int userMode,
                       uint64_t* information);
long DriverHostPnp(uint8_t minor);
long DriverHostPower(uint8_t minor);
long DriverHostSystemControl(void);

/* While held, the disk's reads wait inside its dispatch routine until released. */
void DriverHostHoldReads(int hold);
int DriverHostWaitForHeldRead(uint32_t milliseconds); /* 1 when a read waits */
void DriverHostReleaseRead(void);

uintptr_t DriverHostUserProbeAddress(void);
/* A reserved page that is not mapped: every access faults. */
void* DriverHostUnmappedPage(void);

#ifdef __cplusplus
}
#endif

#endif
