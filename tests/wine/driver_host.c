/* The in-process host of the filter driver image (driver_host.h). */
#include <ntddk.h>
#include <ntdddisk.h>

#include "driver_host.h"

__declspec(dllimport) void* __stdcall LoadLibraryA(const char* name);
__declspec(dllimport) void* __stdcall VirtualAlloc(void* address, SIZE_T size, unsigned long type,
                                                   unsigned long protect);
__declspec(dllimport) int __stdcall VirtualFree(void* address, SIZE_T size, unsigned long type);

/* Not in the headers: creates a driver object and runs its initialisation. */
__declspec(dllimport) NTSTATUS NTAPI IoCreateDriver(PUNICODE_STRING name, PDRIVER_INITIALIZE initialize);

static struct {
  PDRIVER_INITIALIZE filterEntry;
  PDRIVER_OBJECT filterDriver;
  PDRIVER_OBJECT diskDriver;
  PDEVICE_OBJECT disk;
  PDEVICE_OBJECT top;
  uint8_t* image;
  uint64_t sectors;
  int answersLength;
  DriverHostLog log;
  volatile LONG holdRead;
  KEVENT readEntered;
  KEVENT readRelease;
} g;

static NTSTATUS Finish(PIRP irp, NTSTATUS status, ULONG_PTR information) {
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = information;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

/* --- The disk below ---------------------------------------------------------------------------------------- */

static NTSTATUS NTAPI DiskTransfer(PDEVICE_OBJECT device, PIRP irp) {
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  int64_t offset = stack->Parameters.Read.ByteOffset.QuadPart;
  uint32_t length = stack->Parameters.Read.Length;
  uint8_t* buffer = irp->MdlAddress ? MmGetSystemAddressForMdlSafe(irp->MdlAddress, NormalPagePriority)
                                    : (uint8_t*)irp->UserBuffer;
  (void)device;
  g.log.transfers++;
  if (stack->MajorFunction == IRP_MJ_READ && InterlockedExchange(&g.holdRead, 0)) {
    KeSetEvent(&g.readEntered, IO_NO_INCREMENT, FALSE);
    KeWaitForSingleObject(&g.readRelease, Executive, KernelMode, FALSE, NULL);
  }
  if (offset < 0 || offset % HOST_SECTOR || length % HOST_SECTOR || (uint64_t)offset > g.sectors * HOST_SECTOR ||
      length > g.sectors * HOST_SECTOR - (uint64_t)offset)
    return Finish(irp, STATUS_INVALID_PARAMETER, 0);
  if (stack->MajorFunction == IRP_MJ_READ)
    RtlCopyMemory(buffer, g.image + offset, length);
  else
    RtlCopyMemory(g.image + offset, buffer, length);
  return Finish(irp, STATUS_SUCCESS, length);
}

static NTSTATUS NTAPI DiskControl(PDEVICE_OBJECT device, PIRP irp) {
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
  ULONG out = stack->Parameters.DeviceIoControl.OutputBufferLength;
  void* buffer = irp->AssociatedIrp.SystemBuffer;
  (void)device;
  if (code == IOCTL_DISK_GET_DRIVE_GEOMETRY || code == IOCTL_DISK_GET_LENGTH_INFO ||
      code == IOCTL_DISK_GET_PARTITION_INFO) {
    if (code == IOCTL_DISK_GET_DRIVE_GEOMETRY && out >= sizeof(DISK_GEOMETRY)) {
      DISK_GEOMETRY geometry = {{{0}}, RemovableMedia, 255, 63, HOST_SECTOR};
      geometry.Cylinders.QuadPart = (LONGLONG)(g.sectors / (255 * 63));
      RtlCopyMemory(buffer, &geometry, sizeof geometry);
      return Finish(irp, STATUS_SUCCESS, sizeof(DISK_GEOMETRY));
    }
    if (code == IOCTL_DISK_GET_LENGTH_INFO && g.answersLength && out >= sizeof(GET_LENGTH_INFORMATION)) {
      ((GET_LENGTH_INFORMATION*)buffer)->Length.QuadPart = (LONGLONG)(g.sectors * HOST_SECTOR);
      return Finish(irp, STATUS_SUCCESS, sizeof(GET_LENGTH_INFORMATION));
    }
    if (code == IOCTL_DISK_GET_PARTITION_INFO && out >= sizeof(PARTITION_INFORMATION)) {
      PARTITION_INFORMATION* partition = (PARTITION_INFORMATION*)buffer;
      RtlZeroMemory(partition, sizeof *partition);
      partition->PartitionLength.QuadPart = (LONGLONG)(g.sectors * HOST_SECTOR);
      return Finish(irp, STATUS_SUCCESS, sizeof(PARTITION_INFORMATION));
    }
    return Finish(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
  }
  g.log.controlCode = code;
  g.log.controlCount++;
  /* Any other code: answered with a count of its own, so a test sees whose answer came back. */
  return Finish(irp, STATUS_SUCCESS, 0x4D4B);
}

/* Plug and play, power and WMI requests: counted and completed. */
static NTSTATUS NTAPI DiskOther(PDEVICE_OBJECT device, PIRP irp) {
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  (void)device;
  g.log.requests[stack->MajorFunction]++;
  g.log.lastMinor = stack->MinorFunction;
  if (stack->MajorFunction == IRP_MJ_POWER) PoStartNextPowerIrp(irp);
  return Finish(irp, STATUS_SUCCESS, 0);
}

static NTSTATUS NTAPI DiskDriverInit(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
  (void)registryPath;
  g.diskDriver = driver;
  driver->MajorFunction[IRP_MJ_READ] = DiskTransfer;
  driver->MajorFunction[IRP_MJ_WRITE] = DiskTransfer;
  driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DiskControl;
  driver->MajorFunction[IRP_MJ_PNP] = DiskOther;
  driver->MajorFunction[IRP_MJ_POWER] = DiskOther;
  driver->MajorFunction[IRP_MJ_SYSTEM_CONTROL] = DiskOther;
  return STATUS_SUCCESS;
}

static NTSTATUS NTAPI FilterDriverInit(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
  g.filterDriver = driver;
  return g.filterEntry(driver, registryPath);
}

/* --- Loading and attaching --------------------------------------------------------------------------------- */

int DriverHostLoad(const char* path) {
  UNICODE_STRING name;
  uint8_t* module = (uint8_t*)LoadLibraryA(path);
  if (!module) return 1;
  uint32_t header = *(uint32_t*)(module + 0x3C);
  /* The image's entry point is DriverEntry: the optional header keeps its address 16 bytes in. */
  g.filterEntry = (PDRIVER_INITIALIZE)(module + *(uint32_t*)(module + header + 24 + 16));
  KeInitializeEvent(&g.readEntered, SynchronizationEvent, FALSE);
  KeInitializeEvent(&g.readRelease, SynchronizationEvent, FALSE);
  RtlInitUnicodeString(&name, L"\\Driver\\KorvaneTestDisk");
  if (IoCreateDriver(&name, DiskDriverInit) != STATUS_SUCCESS) return 2;
  RtlInitUnicodeString(&name, L"\\Driver\\Dunmarle");
  if (IoCreateDriver(&name, FilterDriverInit) != STATUS_SUCCESS) return 3;
  if (!g.filterDriver->DriverExtension->AddDevice) return 4;
  return 0;
}

int DriverHostAttach(uint64_t sectors, int answersLengthQuery) {
  RtlZeroMemory(&g.log, sizeof g.log);
  g.sectors = sectors;
  g.answersLength = answersLengthQuery;
  g.image = (uint8_t*)VirtualAlloc(NULL, (SIZE_T)(sectors * HOST_SECTOR), 0x3000 /* reserve, commit */, 0x04);
  if (!g.image) return 1;
  if (IoCreateDevice(g.diskDriver, 0, NULL, FILE_DEVICE_DISK, FILE_REMOVABLE_MEDIA, FALSE, &g.disk) != STATUS_SUCCESS)
    return 2;
  g.disk->Flags |= DO_DIRECT_IO | DO_POWER_PAGABLE;
  g.disk->Flags &= ~DO_DEVICE_INITIALIZING;
  if (g.filterDriver->DriverExtension->AddDevice(g.filterDriver, g.disk) != STATUS_SUCCESS) return 3;
  g.top = g.disk->AttachedDevice;
  if (!g.top || g.top->DriverObject != g.filterDriver) return 4;
  if (DriverHostSend(IRP_MJ_PNP, IRP_MN_START_DEVICE) != STATUS_SUCCESS) return 5;
  return 0;
}

void DriverHostDeleteDisk(void) {
  IoDeleteDevice(g.disk);
  g.disk = NULL;
  g.top = NULL;
  VirtualFree(g.image, 0, 0x8000 /* release */);
  g.image = NULL;
}

uint8_t* DriverHostImage(void) { return g.image; }
DriverHostLog DriverHostDiskLog(void) { return g.log; }

/* --- Requests from above ----------------------------------------------------------------------------------- */

static long Send(PIRP irp, KEVENT* event, IO_STATUS_BLOCK* iosb, uint64_t* information) {
  NTSTATUS status = IoCallDriver(g.top, irp);
  if (status == STATUS_PENDING) KeWaitForSingleObject(event, Executive, KernelMode, FALSE, NULL);
  else if (iosb->Status != status) return (long)STATUS_INTERNAL_ERROR; /* completed with another status */
  if (information) *information = iosb->Information;
  return iosb->Status;
}

long DriverHostTransfer(int write, int64_t offset, void* buffer, uint32_t length, uint64_t* information) {
  KEVENT event;
  IO_STATUS_BLOCK iosb;
  LARGE_INTEGER at = {.QuadPart = offset};
  PIRP irp;
  KeInitializeEvent(&event, NotificationEvent, FALSE);
  irp = IoBuildSynchronousFsdRequest(write ? IRP_MJ_WRITE : IRP_MJ_READ, g.top, buffer, length, &at, &event, &iosb);
  if (!irp) return STATUS_INSUFFICIENT_RESOURCES;
  return Send(irp, &event, &iosb, information);
}

long DriverHostControl(uint32_t code, void* in, uint32_t inLength, void* out, uint32_t outLength, int userMode,
                       uint64_t* information) {
  KEVENT event;
  IO_STATUS_BLOCK iosb;
  PIRP irp;
  KeInitializeEvent(&event, NotificationEvent, FALSE);
  irp = IoBuildDeviceIoControlRequest(code, g.top, in, inLength, out, outLength, FALSE, &event, &iosb);
  if (!irp) return STATUS_INSUFFICIENT_RESOURCES;
  if (userMode) irp->RequestorMode = UserMode;
  return Send(irp, &event, &iosb, information);
}

long DriverHostSend(uint8_t major, uint8_t minor) {
  KEVENT event;
  IO_STATUS_BLOCK iosb;
  PIO_STACK_LOCATION stack;
  PIRP irp = IoAllocateIrp(g.top->StackSize, FALSE);
  if (!irp) return STATUS_INSUFFICIENT_RESOURCES;
  KeInitializeEvent(&event, NotificationEvent, FALSE);
  irp->IoStatus.Status = STATUS_NOT_SUPPORTED;
  irp->UserIosb = &iosb;
  irp->UserEvent = &event;
  stack = IoGetNextIrpStackLocation(irp);
  stack->MajorFunction = major;
  stack->MinorFunction = minor;
  if (major == IRP_MJ_POWER) {
    stack->Parameters.Power.Type = DevicePowerState;
    stack->Parameters.Power.State.DeviceState = PowerDeviceD0;
  }
  return Send(irp, &event, &iosb, NULL);
}

void DriverHostHoldNextRead(void) { InterlockedExchange(&g.holdRead, 1); }

int DriverHostWaitForHeldRead(uint32_t milliseconds) {
  LARGE_INTEGER timeout;
  timeout.QuadPart = -(LONGLONG)milliseconds * 10000;
  return KeWaitForSingleObject(&g.readEntered, Executive, KernelMode, FALSE, &timeout) == STATUS_SUCCESS;
}

void DriverHostReleaseRead(void) { KeSetEvent(&g.readRelease, IO_NO_INCREMENT, FALSE); }
