#include "disk/disklist.h"

#include <cstdio>

#include "base/texts.h"

namespace {

constexpr int kStandardLineLimit = 149;
constexpr int kEnhancedLineLimit = 299;
constexpr int kUsbFormatLineLimit = 149;
constexpr double kKiBPerMiB = 1024.0;
constexpr double kKiBPerGiB = 1048576.0;

enum class Form { Bytes, KB, MB, GB };

// The unit a capacity of n sectors is shown in; f is the number of sectors per KiB.
Form FormOf(DiskListPage page, double n, double f) {
  // The enhanced page keeps the KB form up to 2 MiB, the others up to 1 MiB; the USB disk format page shows
  // exactly one KiB in bytes.
  double kbBound = page == DiskListPage::Enhanced ? 2048.0 : 1024.0;
  if (n < f || (page == DiskListPage::UsbFormat && n == f)) return Form::Bytes;
  if (n < f * kbBound) return Form::KB;
  if (n < f * kKiBPerGiB) return Form::MB;
  return Form::GB;
}

int FormatLine(DiskListPage page, const RemovableDisk& d, char* line, size_t size) {
  const int number = d.driveNumber;
  const int b = static_cast<int>(d.bytesPerSector);
  if (d.bytesPerSector == 0 || d.sectorCount == 0) {
    // No capacity: the figure stays 0.
    switch (page) {
      case DiskListPage::Standard:
        return std::snprintf(line, size, "%d.%s(%fB,%s)", number, d.productName, 0.0, d.description);
      case DiskListPage::Enhanced:
        return std::snprintf(line, size, "%d.%s(%fB\\%dB): %s", number, d.productName, 0.0, b, d.description);
      case DiskListPage::UsbFormat:
        return std::snprintf(line, size, "%d.%s(%fB\\%dB):%s", number, d.productName, 0.0, b, d.description);
    }
  }
  // Sectors per KiB, in single precision as the thresholds have always been computed; the divisions in double.
  const float perKiB = 1024.0f / static_cast<float>(d.bytesPerSector);
  const double f = perKiB, n = d.sectorCount;
  switch (FormOf(page, n, f)) {
    case Form::Bytes:
      return std::snprintf(line, size, "%d.%s(%dB\\%dB):%s", number, d.productName,
                           static_cast<int>(static_cast<uint64_t>(d.sectorCount) * d.bytesPerSector), b,
                           d.description);
    case Form::KB:
      return std::snprintf(line, size, "%d.%s( %.1fKB\\%dB): %s", number, d.productName, n / f, b, d.description);
    case Form::MB:
      return std::snprintf(line, size, "%d.%s(%.1fMB\\%dB): %s", number, d.productName, n / (f * kKiBPerMiB), b,
                           d.description);
    case Form::GB:
      return std::snprintf(line, size, "%d.%s(%.1fGB\\%dB): %s", number, d.productName, n / (f * kKiBPerGiB), b,
                           d.description);
  }
  return 0;
}

}  // namespace

int DiskListLineLimit(DiskListPage page) {
  switch (page) {
    case DiskListPage::Standard: return kStandardLineLimit;
    case DiskListPage::Enhanced: return kEnhancedLineLimit;
    case DiskListPage::UsbFormat: return kUsbFormatLineLimit;
  }
  return kStandardLineLimit;
}

std::string DiskListLine(DiskListPage page, const RemovableDisk& disk) {
  char line[kEnhancedLineLimit + 1] = {};
  const size_t size = static_cast<size_t>(DiskListLineLimit(page)) + 1;
  size_t prefix = 0;
  if (page == DiskListPage::Enhanced) {
    line[0] = disk.serviceActive == 1 ? '+' : '!';
    line[1] = ' ';
    prefix = 2;
  }
  // snprintf cuts a line that is too long at the page's limit.
  if (FormatLine(page, disk, line + prefix, size - prefix) < 0) line[prefix] = '\0';
  return line;
}

std::vector<std::string> DiskListLines(DiskListPage page, const DiskTable& table) {
  std::vector<std::string> lines;
  for (int i = 0; i < DiskCount(table); ++i) lines.push_back(DiskListLine(page, table.slots[i]));
  return lines;
}

int DiskListSelection(int remembered, int lineCount) {
  return remembered >= 0 && remembered < lineCount ? remembered : kNoSelection;
}

bool ServiceSwitchChecked(const DiskTable& table, int selection) {
  if (selection < 0 || selection >= DiskCount(table)) return false;
  return table.slots[selection].serviceActive == 1;
}

DiskListView RefreshDiskTable(DiskListPage page, DiskTable* table, int remembered) {
  DiscoverDisks(table);
  DiskListView view;
  view.lines = DiskListLines(page, *table);
  view.selection = DiskListSelection(remembered, static_cast<int>(view.lines.size()));
  view.serviceChecked = page == DiskListPage::Enhanced && ServiceSwitchChecked(*table, view.selection);
  return view;
}
