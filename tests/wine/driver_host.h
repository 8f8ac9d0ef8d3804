/* A host for the filter driver image inside a Windows test program: Wine's ntoskrnl runs it in-process above an
 * in-memory disk whose driver lives here. Plain C, so the kernel headers stay in driver_host.c. Status results
 * are NTSTATUS values; `information` receives the request's transferred count. */
#ifndef KORVANE_TESTS_DRIVER_HOST_H
#define KORVANE_TESTS_DRIVER_HOST_H

#include <stdint.h>

#define HOST_SECTOR 512u /* the disk's sector size */

#ifdef __cplusplus
extern "C" {
#endif

/* What the disk below the filter has seen. The filter's own size queries are not counted. */
typedef struct DriverHostLog {
  uint32_t controlCode; /* the last control code passed down to the disk */
  uint32_t controlCount;
  uint32_t transfers;
  uint32_t requests[0x1C]; /* plug and play, power and WMI requests, by major function (0x1B is the last) */
  uint8_t lastMinor; /* of the last of them */
} DriverHostLog;

/* Loads the image and creates its driver object; once per process. 0 when done. */
int DriverHostLoad(const char* path);
/* A fresh zeroed disk of `sectors` 512-byte sectors with the filter attached in AddDevice and started. Without the
 * length query the disk answers as Windows 2000 does. 0 when done. */
int DriverHostAttach(uint64_t sectors, int answersLengthQuery);
/* The disk, once the test has sent the removal. */
void DriverHostDeleteDisk(void);
uint8_t* DriverHostImage(void);
DriverHostLog DriverHostDiskLog(void);

long DriverHostTransfer(int write, int64_t offset, void* buffer, uint32_t length, uint64_t* information);
/* `userMode`: the request comes from a program, whose pointers the filter must not trust. */
long DriverHostControl(uint32_t code, void* in, uint32_t inLength, void* out, uint32_t outLength, int userMode,
                       uint64_t* information);
/* A plug and play, power (a device's set to D0) or WMI request. */
long DriverHostSend(uint8_t major, uint8_t minor);

/* The disk's next read waits inside its dispatch routine until released. */
void DriverHostHoldNextRead(void);
int DriverHostWaitForHeldRead(uint32_t milliseconds); /* 1 when a read waits */
void DriverHostReleaseRead(void);

#ifdef __cplusplus
}
#endif

#endif
