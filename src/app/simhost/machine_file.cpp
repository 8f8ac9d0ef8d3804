#include "app/simhost/machine_file.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <set>
#include <sstream>

namespace {

// Memory disks live in the program's address space; larger ones belong in image files.
constexpr uint64_t kMaxMemoryDiskBytes = 1ull << 30;
constexpr size_t kDiskFieldCount = 9;

struct Field {
  std::string text;
  bool quoted = false;
};

bool SplitFields(const std::string& line, std::vector<Field>* fields, std::string* error) {
  size_t i = 0;
  while (i < line.size()) {
    if (std::isspace(static_cast<unsigned char>(line[i]))) {
      ++i;
      continue;
    }
    if (line[i] == '#') break;
    Field field;
    if (line[i] == '"') {
      size_t end = line.find('"', i + 1);
      if (end == std::string::npos) {
        *error = "unterminated quote";
        return false;
      }
      field.text = line.substr(i + 1, end - i - 1);
      field.quoted = true;
      i = end + 1;
    } else {
      size_t end = i;
      while (end < line.size() && !std::isspace(static_cast<unsigned char>(line[end])) && line[end] != '#') ++end;
      field.text = line.substr(i, end - i);
      i = end;
    }
    fields->push_back(field);
  }
  return true;
}

bool ParseNumber(const std::string& text, uint64_t* value) {
  if (text.empty() || text.size() > 19) return false;
  uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<uint64_t>(c - '0');
  }
  *value = v;
  return true;
}

bool ParseBus(const std::string& text, uint32_t* bus) {
  if (text == "usb") *bus = kSimBusUsb;
  else if (text == "ata") *bus = kSimBusAta;
  else if (text == "scsi") *bus = kSimBusScsi;
  else return false;
  return true;
}

// "E", "E@63" or "E@63+2880".
bool ParseVolume(const std::string& text, SimVolumeSpec* volume) {
  if (text.empty() || !std::isalpha(static_cast<unsigned char>(text[0]))) return false;
  volume->letter = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
  if (text.size() == 1) return true;
  if (text[1] != '@') return false;
  std::string rest = text.substr(2);
  size_t plus = rest.find('+');
  if (!ParseNumber(rest.substr(0, plus), &volume->startSector)) return false;
  return plus == std::string::npos || ParseNumber(rest.substr(plus + 1), &volume->sectorCount);
}

bool ParseVolumes(const std::string& text, std::vector<SimVolumeSpec>* volumes) {
  if (text == "-") return true;
  std::stringstream list(text);
  std::string item;
  while (std::getline(list, item, ',')) {
    SimVolumeSpec volume;
    if (!ParseVolume(item, &volume)) return false;
    volumes->push_back(volume);
  }
  return !volumes->empty();
}

bool IsAbsoluteWindowsPath(const std::string& path) {
  return (path.size() >= 2 && path[1] == ':') || (!path.empty() && (path[0] == '\\' || path[0] == '/'));
}

std::string JoinPath(const std::string& dir, const std::string& name) {
  if (dir.empty() || IsAbsoluteWindowsPath(name)) return name;
  char last = dir.back();
  return (last == '\\' || last == '/') ? dir + name : dir + "\\" + name;
}

bool ParseDisk(const std::vector<Field>& f, const std::string& baseDir, SimDiskSpec* disk, std::string* error) {
  if (f.size() != kDiskFieldCount) {
    *error = "a disk takes 8 fields after \"disk\", found " + std::to_string(f.size() - 1);
    return false;
  }
  uint64_t number = 0, sectorSize = 0, sectors = 0;
  if (!ParseNumber(f[1].text, &number) || number > 99) {
    *error = "bad disk number \"" + f[1].text + "\"";
    return false;
  }
  disk->number = static_cast<int>(number);
  if (!ParseBus(f[2].text, &disk->busType)) {
    *error = "unknown bus \"" + f[2].text + "\"";
    return false;
  }
  disk->hasVendor = f[3].quoted || f[3].text != "-";
  disk->vendor = disk->hasVendor ? f[3].text : std::string();
  disk->hasProduct = f[4].quoted || f[4].text != "-";
  disk->product = disk->hasProduct ? f[4].text : std::string();
  if (!ParseNumber(f[5].text, &sectorSize) ||
      (sectorSize != 512 && sectorSize != 1024 && sectorSize != 2048 && sectorSize != 4096)) {
    *error = "bad sector size \"" + f[5].text + "\"";
    return false;
  }
  disk->sectorSize = static_cast<uint32_t>(sectorSize);
  if (!ParseNumber(f[6].text, &sectors)) {
    *error = "bad sector count \"" + f[6].text + "\"";
    return false;
  }
  disk->sectorCount = sectors;
  if (f[7].text == "memory" && !f[7].quoted) {
    if (sectors == 0 || sectors > kMaxMemoryDiskBytes / sectorSize) {
      *error = "a memory disk needs a size between 1 sector and 1 GiB";
      return false;
    }
  } else {
    disk->imagePath = JoinPath(baseDir, f[7].text);
    disk->createImage = sectors != 0;
  }
  if (!ParseVolumes(f[8].text, &disk->volumes)) {
    *error = "bad volume list \"" + f[8].text + "\"";
    return false;
  }
  return true;
}

// Two disks with one number, or one letter on two volumes, would make the machine ambiguous.
bool CheckUnique(const std::vector<SimDiskSpec>& disks, std::string* error) {
  std::set<int> numbers;
  std::set<char> letters;
  for (const SimDiskSpec& disk : disks) {
    if (!numbers.insert(disk.number).second) {
      *error = "disk " + std::to_string(disk.number) + " is given twice";
      return false;
    }
    for (const SimVolumeSpec& volume : disk.volumes)
      if (!letters.insert(volume.letter).second) {
        *error = std::string("drive letter ") + volume.letter + ": is given twice";
        return false;
      }
  }
  return true;
}

// A fault line: fail writes|reads <disk> <sector> [<count>], short <disk>, pull <disk> <writes>. False with a
// fault text when the line is not one of them.
bool ParseFault(const std::vector<Field>& fields, SimMachineFault* fault, std::string* text) {
  const std::string& word = fields[0].text;
  size_t at = 1;
  if (word == "fail") {
    if (fields.size() < 2 || (fields[1].text != "writes" && fields[1].text != "reads")) {
      *text = "fail takes writes or reads";
      return false;
    }
    fault->kind = fields[1].text == "writes" ? SimMachineFault::kFailWrites : SimMachineFault::kFailReads;
    at = 2;
  } else {
    fault->kind = word == "short" ? SimMachineFault::kShortTransfers : SimMachineFault::kPull;
  }
  const size_t numbers = fields.size() - std::min(fields.size(), at);
  const bool fits = fault->kind == SimMachineFault::kShortTransfers ? numbers == 1
                    : fault->kind == SimMachineFault::kPull       ? numbers == 2
                                                                  : numbers == 2 || numbers == 3;
  uint64_t values[3] = {0, 0, UINT64_MAX};
  for (size_t i = 0; fits && i < numbers; ++i)
    if (!ParseNumber(fields[at + i].text, &values[i])) {
      *text = "bad number \"" + fields[at + i].text + "\"";
      return false;
    }
  if (!fits || values[0] > 99) {
    *text = !fits ? "a " + word + " line takes " +
                        (fault->kind == SimMachineFault::kShortTransfers ? std::string("a disk number")
                         : fault->kind == SimMachineFault::kPull        ? std::string("a disk number and a count")
                                                                        : std::string("a disk, a sector and a count"))
                  : "bad disk number \"" + fields[at].text + "\"";
    return false;
  }
  fault->disk = static_cast<int>(values[0]);
  fault->first = values[1];
  fault->count = values[2];
  return true;
}

}  // namespace

void ApplySimMachineFaults(const std::vector<SimMachineFault>& faults) {
  for (const SimMachineFault& f : faults) {
    switch (f.kind) {
      case SimMachineFault::kFailWrites:
        if (f.count == UINT64_MAX) SimFailWritesFrom(f.disk, f.first, kSysErrorWriteFault);
        else SimFailWritesIn(f.disk, f.first, f.count);
        break;
      case SimMachineFault::kFailReads:
        if (f.count == UINT64_MAX) SimFailReadsFrom(f.disk, f.first, kSysErrorReadFault);
        else SimFailReadsIn(f.disk, f.first, f.count);
        break;
      case SimMachineFault::kShortTransfers: SimShortTransfers(f.disk, true); break;
      case SimMachineFault::kPull: SimPullAfterWrites(f.disk, f.first); break;
    }
  }
}

bool ParseSimMachine(const std::string& text, const std::string& baseDir, std::vector<SimDiskSpec>* disks,
                     std::string* error, SimMachineRules* rules) {
  std::vector<SimDiskSpec> parsed;
  SimMachineRules found;
  std::vector<std::pair<uint64_t, uint64_t>> realSizes;  // disk number, sectors it holds
  std::stringstream lines(text);
  std::string line;
  for (int lineNumber = 1; std::getline(lines, line); ++lineNumber) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::vector<Field> fields;
    std::string fault;
    bool ok = SplitFields(line, &fields, &fault);
    if (ok && fields.empty()) continue;
    if (ok && !fields[0].quoted && fields[0].text == "vista" && fields.size() == 1) {
      found.vista = true;
      continue;
    }
    if (ok && !fields[0].quoted && fields[0].text == "hold" && fields.size() == 2 && fields[1].text.size() == 1 &&
        std::isalpha(static_cast<unsigned char>(fields[1].text[0]))) {
      found.heldVolumes += static_cast<char>(std::toupper(static_cast<unsigned char>(fields[1].text[0])));
      continue;
    }
    if (ok && !fields[0].quoted && fields[0].text == "codepage") {
      uint64_t codePage = 0;
      if (fields.size() != 2 || !ParseNumber(fields[1].text, &codePage) || codePage == 0 || codePage > 65535) {
        *error = "line " + std::to_string(lineNumber) + ": codepage takes a code page number such as 437 or 936";
        return false;
      }
      found.oemCodePage = static_cast<uint32_t>(codePage);
      continue;
    }
    if (ok && !fields[0].quoted &&
        (fields[0].text == "fail" || fields[0].text == "short" || fields[0].text == "pull")) {
      SimMachineFault machineFault;
      if (!ParseFault(fields, &machineFault, &fault)) {
        *error = "line " + std::to_string(lineNumber) + ": " + fault;
        return false;
      }
      found.faults.push_back(machineFault);
      continue;
    }
    if (ok && !fields[0].quoted && fields[0].text == "real") {
      uint64_t number = 0, sectors = 0;
      if (fields.size() != 3 || !ParseNumber(fields[1].text, &number) || !ParseNumber(fields[2].text, &sectors) ||
          sectors == 0) {
        *error = "line " + std::to_string(lineNumber) + ": real takes a disk number and a sector count";
        return false;
      }
      realSizes.emplace_back(number, sectors);
      continue;
    }
    if (ok && (fields[0].quoted || fields[0].text != "disk")) {
      fault = "expected \"disk\", found \"" + fields[0].text + "\"";
      ok = false;
    }
    SimDiskSpec disk;
    if (ok) ok = ParseDisk(fields, baseDir, &disk, &fault);
    if (!ok) {
      *error = "line " + std::to_string(lineNumber) + ": " + fault;
      return false;
    }
    parsed.push_back(disk);
  }
  if (!CheckUnique(parsed, error)) return false;
  for (const auto& real : realSizes) {
    auto disk = std::find_if(parsed.begin(), parsed.end(),
                             [&real](const SimDiskSpec& d) { return static_cast<uint64_t>(d.number) == real.first; });
    if (disk == parsed.end()) {
      *error = "real: no disk " + std::to_string(real.first);
      return false;
    }
    disk->realSectors = real.second;
  }
  *disks = parsed;
  if (rules) *rules = found;
  return true;
}

std::vector<SimDiskSpec> DefaultSimMachine(const std::string& baseDir) {
  SimDiskSpec system = SimStick(0, 'C', 16384, kSimBusAta);  // 8 MiB: only its presence matters
  system.hasVendor = false;
  system.vendor.clear();
  system.product = "SIM SYSTEM DISK";

  SimDiskSpec stick = SimStick(1, 'E', 256u * 1024 * 1024 / 512);  // "Generic " / " Flash Disk" on USB by default
  stick.imagePath = JoinPath(baseDir, kSimDefaultStickImage);
  stick.createImage = true;
  return {system, stick};
}
