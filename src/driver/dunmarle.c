/* Dunmarle.sys: the multi-floppy disk upper filter.
 *
 * Attached above a disk's function driver (the disk's upper filter list names "Dunmarle"), it presents one floppy
 * block of the disk as the disk: reads and writes are moved by the presented block's offset (blockmap.h), and four
 * control codes select the block, take the block layout, mark the filter's presence and report the presented
 * block. Everything else goes down the stack unchanged.
 *
 * Requests in flight are counted by a remove lock: the removal waits for them, and requests that arrive once it
 * has begun fail with STATUS_DELETE_PENDING. The block state is shared by requests on every processor and guarded
 * by a spin lock, so that reads and writes (which may come at DISPATCH_LEVEL) always see one consistent mapping. */
#include <ntddk.h>
#include <ntdddisk.h>

#include "driver/blockmap.h"

#define DUN_POOL_TAG 0x6C726D44u /* "Dmrl" in a pool dump */

typedef struct FilterExtension {
  PDEVICE_OBJECT self;
  PDEVICE_OBJECT lower;
  IO_REMOVE_LOCK removeLock;
  KSPIN_LOCK lock; /* guards the three fields below */
  DunBlockState state;
  uint32_t sectorBytes; /* the disk's, as last asked for */
  uint64_t diskBytes;
} FilterExtension;

/* Copies to a caller's buffer that may be invalid: 0 when done, non-zero when the buffer faulted (usercopy_*.S). */
int DunCopyToCaller(void* destination, const void* source, SIZE_T length);

DRIVER_INITIALIZE DriverEntry;

static FilterExtension* Extension(PDEVICE_OBJECT device) { return (FilterExtension*)device->DeviceExtension; }

static NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG_PTR information) {
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = information;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

/* Sends a request down unchanged; power requests go with PoCallDriver (the Windows 2000/XP rule). */
static NTSTATUS PassDown(PDEVICE_OBJECT device, PIRP irp, BOOLEAN power) {
  FilterExtension* ext = Extension(device);
  NTSTATUS status = IoAcquireRemoveLock(&ext->removeLock, irp);
  if (!NT_SUCCESS(status)) return Complete(irp, status, 0);
  IoSkipCurrentIrpStackLocation(irp);
  status = power ? PoCallDriver(ext->lower, irp) : IoCallDriver(ext->lower, irp);
  IoReleaseRemoveLock(&ext->removeLock, irp);
  return status;
}

/* Every request the filter does not own goes down unchanged. */
static NTSTATUS NTAPI DispatchPass(PDEVICE_OBJECT device, PIRP irp) { return PassDown(device, irp, FALSE); }

/* --- Reads and writes -------------------------------------------------------------------------------------- */

static NTSTATUS NTAPI DispatchReadWrite(PDEVICE_OBJECT device, PIRP irp) {
  FilterExtension* ext = Extension(device);
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  DunBlockState state;
  uint32_t sectorBytes;
  uint64_t diskBytes, offset, physical;
  KIRQL irql;
  NTSTATUS status = IoAcquireRemoveLock(&ext->removeLock, irp);
  if (!NT_SUCCESS(status)) return Complete(irp, status, 0);

  KeAcquireSpinLock(&ext->lock, &irql);
  state = ext->state;
  sectorBytes = ext->sectorBytes;
  diskBytes = ext->diskBytes;
  KeReleaseSpinLock(&ext->lock, irql);

  /* Read and write keep their offset and length at the same place of the stack location. */
  offset = (uint64_t)stack->Parameters.Read.ByteOffset.QuadPart;
  if (DunMapTransfer(&state, sectorBytes, diskBytes, offset, stack->Parameters.Read.Length, &physical) != DUN_MAP_OK) {
    IoReleaseRemoveLock(&ext->removeLock, irp);
    return Complete(irp, STATUS_NONEXISTENT_SECTOR, 0);
  }
  if (physical == offset) {
    IoSkipCurrentIrpStackLocation(irp);
  } else {
    IoCopyCurrentIrpStackLocationToNext(irp);
    IoGetNextIrpStackLocation(irp)->Parameters.Read.ByteOffset.QuadPart = (LONGLONG)physical;
  }
  status = IoCallDriver(ext->lower, irp);
  IoReleaseRemoveLock(&ext->removeLock, irp);
  return status;
}

/* --- The four control codes -------------------------------------------------------------------------------- */

/* One buffered request to the disk below, waited for. Control codes reach a filter at PASSIVE_LEVEL. The output
 * buffer is also given as the (empty) input buffer: the system copies the answer into it either way. */
static NTSTATUS AskDisk(FilterExtension* ext, ULONG code, PVOID out, ULONG outLength) {
  KEVENT event;
  IO_STATUS_BLOCK iosb;
  PIRP irp;
  NTSTATUS status;
  KeInitializeEvent(&event, NotificationEvent, FALSE);
  iosb.Status = STATUS_UNSUCCESSFUL;
  iosb.Information = 0;
  irp = IoBuildDeviceIoControlRequest(code, ext->lower, out, 0, out, outLength, FALSE, &event, &iosb);
  if (!irp) return STATUS_INSUFFICIENT_RESOURCES;
  status = IoCallDriver(ext->lower, irp);
  if (status == STATUS_PENDING) {
    KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, NULL);
    status = iosb.Status;
  }
  if (NT_SUCCESS(status) && iosb.Information < outLength) status = STATUS_INVALID_DEVICE_STATE;
  return status;
}

/* The disk's sector size and length. Windows 2000 has no length request; there the whole-disk partition (the
 * disk itself) gives the length, and the geometry is the last resort. */
static NTSTATUS ReadDiskSize(FilterExtension* ext, uint32_t* sectorBytes, uint64_t* diskBytes) {
  DISK_GEOMETRY geometry;
  GET_LENGTH_INFORMATION length;
  PARTITION_INFORMATION partition;
  NTSTATUS status = AskDisk(ext, IOCTL_DISK_GET_DRIVE_GEOMETRY, &geometry, sizeof geometry);
  if (!NT_SUCCESS(status)) return status;
  if (geometry.BytesPerSector == 0) return STATUS_INVALID_DEVICE_STATE;
  *sectorBytes = geometry.BytesPerSector;
  if (NT_SUCCESS(AskDisk(ext, IOCTL_DISK_GET_LENGTH_INFO, &length, sizeof length))) {
    *diskBytes = (uint64_t)length.Length.QuadPart;
  } else if (NT_SUCCESS(AskDisk(ext, IOCTL_DISK_GET_PARTITION_INFO, &partition, sizeof partition))) {
    *diskBytes = (uint64_t)partition.PartitionLength.QuadPart;
  } else {
    *diskBytes = (uint64_t)geometry.Cylinders.QuadPart * geometry.TracksPerCylinder * geometry.SectorsPerTrack *
                 geometry.BytesPerSector;
  }
  return STATUS_SUCCESS;
}

static NTSTATUS SelectBlock(FilterExtension* ext, PIRP irp, PIO_STACK_LOCATION stack) {
  DunSelectRequest request;
  uint32_t sectorBytes;
  uint64_t diskBytes;
  KIRQL irql;
  int selected;
  NTSTATUS status;
  PVOID buffer = irp->AssociatedIrp.SystemBuffer;
  if (!buffer || stack->Parameters.DeviceIoControl.InputBufferLength < sizeof request ||
      stack->Parameters.DeviceIoControl.OutputBufferLength < sizeof request)
    return Complete(irp, STATUS_INVALID_PARAMETER, 0);
  RtlCopyMemory(&request, buffer, sizeof request);
  status = ReadDiskSize(ext, &sectorBytes, &diskBytes);
  if (!NT_SUCCESS(status)) return Complete(irp, status, 0);
  KeAcquireSpinLock(&ext->lock, &irql);
  selected = DunSelectBlock(&ext->state, request.block, diskBytes / sectorBytes);
  if (selected) {
    ext->sectorBytes = sectorBytes;
    ext->diskBytes = diskBytes;
  }
  KeReleaseSpinLock(&ext->lock, irql);
  if (!selected) return Complete(irp, STATUS_INVALID_PARAMETER, 0);
  RtlCopyMemory(buffer, &request, sizeof request);
  return Complete(irp, STATUS_SUCCESS, sizeof request);
}

/* The configuration comes in the system buffer; the direct output buffer is the program's own copy of it and
 * is left alone. */
static NTSTATUS ConfigureBlocks(FilterExtension* ext, PIRP irp, PIO_STACK_LOCATION stack) {
  DunBlockConfig config;
  uint32_t sectorBytes;
  uint64_t diskBytes;
  KIRQL irql;
  NTSTATUS status;
  if (!irp->AssociatedIrp.SystemBuffer || stack->Parameters.DeviceIoControl.InputBufferLength < sizeof config)
    return Complete(irp, STATUS_INVALID_PARAMETER, 0);
  RtlCopyMemory(&config, irp->AssociatedIrp.SystemBuffer, sizeof config);
  status = ReadDiskSize(ext, &sectorBytes, &diskBytes);
  if (!NT_SUCCESS(status)) return Complete(irp, status, 0);
  KeAcquireSpinLock(&ext->lock, &irql);
  DunConfigure(&ext->state, &config, diskBytes / sectorBytes);
  ext->sectorBytes = sectorBytes;
  ext->diskBytes = diskBytes;
  KeReleaseSpinLock(&ext->lock, irql);
  return Complete(irp, STATUS_SUCCESS, 0);
}

/* The output is the caller's own pointer (method neither). A user-mode caller's pointer must lie in user space
 * and is written under an exception guard, so a bad one fails the request instead of the system. */
static NTSTATUS CurrentBlock(FilterExtension* ext, PIRP irp, PIO_STACK_LOCATION stack) {
  uint32_t block;
  KIRQL irql;
  PVOID out = irp->UserBuffer;
  if (!out || stack->Parameters.DeviceIoControl.OutputBufferLength < DUN_CURRENT_BLOCK_BYTES)
    return Complete(irp, STATUS_INVALID_PARAMETER, 0);
  KeAcquireSpinLock(&ext->lock, &irql);
  block = ext->state.block;
  KeReleaseSpinLock(&ext->lock, irql);
  if (irp->RequestorMode == UserMode) {
    ULONG_PTR start = (ULONG_PTR)out, end = start + DUN_CURRENT_BLOCK_BYTES;
    if (end < start || end > (ULONG_PTR)MmUserProbeAddress) return Complete(irp, STATUS_ACCESS_VIOLATION, 0);
    if (DunCopyToCaller(out, &block, DUN_CURRENT_BLOCK_BYTES) != 0) return Complete(irp, STATUS_ACCESS_VIOLATION, 0);
  } else {
    RtlCopyMemory(out, &block, DUN_CURRENT_BLOCK_BYTES);
  }
  return Complete(irp, STATUS_SUCCESS, DUN_CURRENT_BLOCK_BYTES);
}

static NTSTATUS NTAPI DispatchControl(PDEVICE_OBJECT device, PIRP irp) {
  FilterExtension* ext = Extension(device);
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  NTSTATUS status;
  switch (stack->Parameters.DeviceIoControl.IoControlCode) {
    case DUN_IOCTL_SELECT_BLOCK:
    case DUN_IOCTL_CONFIGURE_BLOCKS:
    case DUN_IOCTL_PRESENCE:
    case DUN_IOCTL_CURRENT_BLOCK:
      break;
    default:
      return DispatchPass(device, irp);
  }
  status = IoAcquireRemoveLock(&ext->removeLock, irp);
  if (!NT_SUCCESS(status)) return Complete(irp, status, 0);
  switch (stack->Parameters.DeviceIoControl.IoControlCode) {
    case DUN_IOCTL_SELECT_BLOCK:
      status = SelectBlock(ext, irp, stack);
      break;
    case DUN_IOCTL_CONFIGURE_BLOCKS:
      status = ConfigureBlocks(ext, irp, stack);
      break;
    case DUN_IOCTL_PRESENCE:
      /* The count is the mark; the buffer is neither read nor written. */
      status = Complete(irp, STATUS_SUCCESS, DUN_PRESENCE_MARK);
      break;
    default:
      status = CurrentBlock(ext, irp, stack);
      break;
  }
  IoReleaseRemoveLock(&ext->removeLock, irp);
  return status;
}

/* --- Plug and play and power ------------------------------------------------------------------------------ */

static NTSTATUS NTAPI SignalCompletion(PDEVICE_OBJECT device, PIRP irp, PVOID context) {
  (void)device;
  (void)irp;
  KeSetEvent((PKEVENT)context, IO_NO_INCREMENT, FALSE);
  return STATUS_MORE_PROCESSING_REQUIRED;
}

/* Sends the request down and waits until the drivers below have completed it; the caller completes it. */
static NTSTATUS ForwardAndWait(FilterExtension* ext, PIRP irp) {
  KEVENT event;
  NTSTATUS status;
  KeInitializeEvent(&event, NotificationEvent, FALSE);
  IoCopyCurrentIrpStackLocationToNext(irp);
  IoSetCompletionRoutine(irp, SignalCompletion, &event, TRUE, TRUE, TRUE);
  status = IoCallDriver(ext->lower, irp);
  if (status == STATUS_PENDING) {
    KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, NULL);
    status = irp->IoStatus.Status;
  }
  return status;
}

static NTSTATUS NTAPI DispatchPnp(PDEVICE_OBJECT device, PIRP irp) {
  FilterExtension* ext = Extension(device);
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  NTSTATUS status = IoAcquireRemoveLock(&ext->removeLock, irp);
  if (!NT_SUCCESS(status)) return Complete(irp, status, 0);
  switch (stack->MinorFunction) {
    case IRP_MN_START_DEVICE:
      /* The disk starts first; the filter then shows its removable-media character as its own. */
      status = ForwardAndWait(ext, irp);
      if (NT_SUCCESS(status)) device->Characteristics |= ext->lower->Characteristics & FILE_REMOVABLE_MEDIA;
      Complete(irp, status, irp->IoStatus.Information);
      break;
    case IRP_MN_DEVICE_USAGE_NOTIFICATION:
      /* A paging, hibernation or dump file on the disk: power requests must then reach it without paging.
       * Pagable on the way down unless the device above is not; afterwards as the disk below decided. */
      if (!device->AttachedDevice || (device->AttachedDevice->Flags & DO_POWER_PAGABLE))
        device->Flags |= DO_POWER_PAGABLE;
      status = ForwardAndWait(ext, irp);
      if (!(ext->lower->Flags & DO_POWER_PAGABLE)) device->Flags &= ~DO_POWER_PAGABLE;
      Complete(irp, status, irp->IoStatus.Information);
      break;
    case IRP_MN_REMOVE_DEVICE:
      /* Waits for every request in flight; later ones fail. Then the disk below removes itself and the filter
       * leaves the stack. */
      IoReleaseRemoveLockAndWait(&ext->removeLock, irp);
      IoSkipCurrentIrpStackLocation(irp);
      status = IoCallDriver(ext->lower, irp);
      IoDetachDevice(ext->lower);
      IoDeleteDevice(device);
      return status;
    default:
      /* Stop, surprise removal and the queries need nothing of the filter: the disk below answers them. */
      IoSkipCurrentIrpStackLocation(irp);
      status = IoCallDriver(ext->lower, irp);
      break;
  }
  IoReleaseRemoveLock(&ext->removeLock, irp);
  return status;
}

/* Windows 2000 and XP: the next power request may start at once, and power requests go down with PoCallDriver. */
static NTSTATUS NTAPI DispatchPower(PDEVICE_OBJECT device, PIRP irp) {
  PoStartNextPowerIrp(irp);
  return PassDown(device, irp, TRUE);
}

static NTSTATUS NTAPI AddDevice(PDRIVER_OBJECT driver, PDEVICE_OBJECT pdo) {
  PDEVICE_OBJECT device;
  FilterExtension* ext;
  NTSTATUS status =
      IoCreateDevice(driver, sizeof(FilterExtension), NULL, FILE_DEVICE_DISK, FILE_DEVICE_SECURE_OPEN, FALSE, &device);
  if (!NT_SUCCESS(status)) return status;
  ext = Extension(device);
  RtlZeroMemory(ext, sizeof *ext);
  ext->self = device;
  KeInitializeSpinLock(&ext->lock);
  IoInitializeRemoveLock(&ext->removeLock, DUN_POOL_TAG, 0, 0);
  ext->lower = IoAttachDeviceToDeviceStack(device, pdo);
  if (!ext->lower) {
    IoDeleteDevice(device);
    return STATUS_NO_SUCH_DEVICE;
  }
  /* The I/O manager builds requests for the top of the stack: they must look as the disk's own would. */
  device->DeviceType = ext->lower->DeviceType;
  device->Characteristics = ext->lower->Characteristics;
  device->Flags |= ext->lower->Flags & (DO_BUFFERED_IO | DO_DIRECT_IO | DO_POWER_PAGABLE);
  device->Flags &= ~DO_DEVICE_INITIALIZING;
  return STATUS_SUCCESS;
}

static VOID NTAPI Unload(PDRIVER_OBJECT driver) { (void)driver; }

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
  ULONG i;
  (void)registryPath;
  for (i = 0; i <= IRP_MJ_MAXIMUM_FUNCTION; ++i) driver->MajorFunction[i] = DispatchPass;
  driver->MajorFunction[IRP_MJ_READ] = DispatchReadWrite;
  driver->MajorFunction[IRP_MJ_WRITE] = DispatchReadWrite;
  driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchControl;
  driver->MajorFunction[IRP_MJ_PNP] = DispatchPnp;
  driver->MajorFunction[IRP_MJ_POWER] = DispatchPower;
  driver->DriverExtension->AddDevice = AddDevice;
  driver->DriverUnload = Unload;
  return STATUS_SUCCESS;
}
