#include "app/simhost/simhost.h"

#include <dbt.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <vector>

#include "ui/message.h"
#include "app/gui/program.h"
#include "app/simhost/machine_file.h"
#include "sys/sim/sim.h"

namespace {

// The broadcast header that comes with every simulated volume arrival and removal. Pages read it after the
// message was posted, so it must outlive the call: one static, never changed after start-up.
DEV_BROADCAST_DEVICEINTERFACE_A MakeVolumeBroadcast() {
  DEV_BROADCAST_DEVICEINTERFACE_A broadcast = DEV_BROADCAST_DEVICEINTERFACE_A();
  broadcast.dbcc_size = sizeof broadcast;
  broadcast.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  static_assert(sizeof broadcast.dbcc_classguid == sizeof kGuidDevinterfaceVolume, "GUID layout");
  std::memcpy(&broadcast.dbcc_classguid, &kGuidDevinterfaceVolume, sizeof kGuidDevinterfaceVolume);
  return broadcast;
}

const DEV_BROADCAST_DEVICEINTERFACE_A gVolumeBroadcast = MakeVolumeBroadcast();

// WM_DEVICECHANGE with a DBT_ event carries a pointer, and the system refuses to post such messages. The machine
// raises events on whatever thread changed it (a test, a page's worker), with its lock held; so it posts a note to
// a relay window on the UI thread, which sends the real message to the page there, outside the machine's lock.
constexpr UINT kRelayMessage = WM_APP + 0x5D;  // wParam: event, lParam: the registered window
const wchar_t kRelayClass[] = L"KorvaneSimDeviceEvents";
std::atomic<HWND> gRelay{nullptr};

LRESULT CALLBACK RelayProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != kRelayMessage) return DefWindowProcW(window, message, wParam, lParam);
  SendMessageW(reinterpret_cast<HWND>(lParam), WM_DEVICECHANGE, wParam, reinterpret_cast<LPARAM>(&gVolumeBroadcast));
  return 0;
}

void PostDeviceChange(void* window, uint32_t event) {
  PostMessageW(gRelay.load(), kRelayMessage, event, reinterpret_cast<LPARAM>(window));
}

HWND CreateRelayWindow() {
  static const bool registered = [] {
    WNDCLASSW windowClass = WNDCLASSW();
    windowClass.lpfnWndProc = RelayProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kRelayClass;
    return RegisterClassW(&windowClass) != 0;
  }();
  (void)registered;
  return CreateWindowExW(0, kRelayClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr),
                         nullptr);
}

// Plain stdio: the C++ file streams would import _fstat64, which Windows 2000's msvcrt.dll lacks.
bool ReadTextFile(const std::string& path, std::string* text) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  text->clear();
  char chunk[4096];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) text->append(chunk, got);
  bool ok = std::ferror(file) == 0;
  std::fclose(file);
  return ok;
}

// The Windows directory of the simulated machine, with the driver directory that service installation copies to.
std::string MakeWindowsDirectory(const std::string& dir) {
  std::string windows = dir + "\\sim-windows";
  CreateDirectoryA(windows.c_str(), nullptr);
  CreateDirectoryA((windows + "\\system32").c_str(), nullptr);
  CreateDirectoryA((windows + "\\system32\\drivers").c_str(), nullptr);
  return windows;
}

}  // namespace

std::string ProgramDirectory() {
  std::vector<char> path(MAX_PATH);
  for (;;) {
    DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return ".";
    if (length < path.size()) break;
    path.resize(path.size() * 2);
  }
  std::string full(path.data());
  size_t slash = full.find_last_of("\\/");
  return slash == std::string::npos ? "." : full.substr(0, slash);
}

bool BuildSimMachine(const std::string& dir, std::string* error) {
  std::vector<SimDiskSpec> disks;
  SimMachineRules rules;
  std::string text;
  if (ReadTextFile(dir + "\\" + kSimMachineFileName, &text)) {
    if (!ParseSimMachine(text, dir, &disks, error, &rules)) {
      *error = std::string(kSimMachineFileName) + ", " + *error;
      return false;
    }
  } else {
    disks = DefaultSimMachine(dir);
  }
  SimReset();
  for (const SimDiskSpec& disk : disks)
    if (!SimAddDisk(disk)) {
      *error = "disk " + std::to_string(disk.number) + ": cannot open or create the image " + disk.imagePath;
      return false;
    }
  SimSetVistaVolumeRule(rules.vista);
  // Windows keeps labels and 8.3 names in the system's OEM code page: the host's own unless the file names one.
  SimSetOemCodePage(rules.oemCodePage ? rules.oemCodePage : GetOEMCP());
  for (char letter : rules.heldVolumes) SimHoldVolume(letter, true);
  ApplySimMachineFaults(rules.faults);
  SimSetCurrentDirectory(dir);
  SimSetWindowsDirectory(MakeWindowsDirectory(dir));
  return true;
}

void InstallSimDeviceEvents() {
  // One relay per UI thread: a relay left by an earlier UI thread went with that thread.
  HWND relay = gRelay.load();
  if (!relay || !IsWindow(relay) || GetWindowThreadProcessId(relay, nullptr) != GetCurrentThreadId())
    gRelay.store(CreateRelayWindow());
  SimSetDeviceEventSink(PostDeviceChange);
}

int RunSimulatedProgram(HINSTANCE instance) {
  std::string error;
  if (!BuildSimMachine(ProgramDirectory(), &error)) {
    ShowMessage(nullptr, error.c_str(), "Korvane-sim", MB_ICONERROR);
    return 1;
  }
  InstallSimDeviceEvents();
  return RunProgram(instance);
}
