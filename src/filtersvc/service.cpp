#include "filtersvc/service.h"

#include <atomic>

#include "disk/queries.h"
#include "filtersvc/filter.h"
#include "filtersvc/install.h"
#include "sys/sys.h"

namespace {

std::atomic<bool> gServiceRunGoing{false};

ServiceRunResult Ended(ServiceOutcome outcome, bool serviceActive, bool switchChecked, std::optional<FilterResult> registration = std::nullopt) {
  ServiceRunResult result;
  result.outcome = outcome;
  result.registration = registration;
  result.serviceActive = serviceActive;
  result.switchChecked = switchChecked;
  return result;
}

ServiceRunResult Start(const ServiceDisk& disk, const std::function<void()>& configureBlocks) {
  // Without the driver file nothing in the system is changed.
  if (!SysFindFile(kFilterDriverFile)) return Ended(ServiceOutcome::DriverMissing, disk.serviceActive, false);
  FilterResult r = SetDiskFilter(true, PdoTail(disk.pdoName));
  bool active = disk.serviceActive;
  if (r != FilterResult::kNoDeviceSet) active = QueryFilterPresence(disk.deviceName.c_str()) == 1;
  switch (r) {
    case FilterResult::kOk:
      if (!active) {
        // The disk restarted without the driver in its stack: the system refused to load it (64-bit Windows
        // loads only signed drivers), and a disk that lists a driver the system does not load cannot start. The
        // filter comes out of the list again, so the disk works as before.
        SetDiskFilter(false, PdoTail(disk.pdoName));
        return Ended(ServiceOutcome::DriverNotLoaded, false, false, r);
      }
      if (configureBlocks) configureBlocks();
      return Ended(ServiceOutcome::Started, true, true, r);
    case FilterResult::kNoDevice:
      return Ended(ServiceOutcome::NoDevice, active, active, r);
    case FilterResult::kNeedsReboot:
      // The list holds the filter, but until the reboot the driver may not answer: the switch shows what it says.
      return Ended(ServiceOutcome::StartNeedsRestart, active, active, r);
    default:
      return Ended(ServiceOutcome::StartFailed, active, active, r);
  }
}

ServiceRunResult Stop(const ServiceDisk& disk) {
  FilterResult r = SetDiskFilter(false, PdoTail(disk.pdoName));
  bool active = disk.serviceActive;
  if (r != FilterResult::kNoDeviceSet) active = QueryFilterPresence(disk.deviceName.c_str()) == 1;
  switch (r) {
    case FilterResult::kOk:
      return Ended(ServiceOutcome::Stopped, false, false, r);
    case FilterResult::kNoDevice:
      return Ended(ServiceOutcome::NoDevice, active, active, r);
    case FilterResult::kNeedsReboot:
      // The filter is out of the list and leaves the disk at the reboot; the service counts as off already.
      return Ended(ServiceOutcome::StopNeedsRestart, false, false, r);
    default:
      return Ended(ServiceOutcome::StopFailed, active, active, r);
  }
}

}  // namespace

ServiceRunResult RunServiceSwitch(bool start, const ServiceDisk* disk, const std::function<void()>& configureBlocks) {
  if (!disk) return Ended(ServiceOutcome::NoDisk, false, false);
  return start ? Start(*disk, configureBlocks) : Stop(*disk);
}

bool BeginServiceRun() { return !gServiceRunGoing.exchange(true); }

void EndServiceRun() { gServiceRunGoing = false; }
