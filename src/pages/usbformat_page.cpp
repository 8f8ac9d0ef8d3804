// USB disk format page (dialog 129): one FAT12 or FAT16 volume over a removable disk with the user's parameters.
//
// The page's thread owns every control and the disk table. A format runs on a worker (pages/page_worker.h) over a
// FormatJob that the page fills when the user starts it (the options, a copy of the disk's record, the open disk);
// the worker writes the outcome into the job, and the page reports it on its own thread at the completion.
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>

#include "ui/instructions.h"
#include "ui/message.h"
#include "ui/resource_ids.h"
#include "ui/sheet.h"
#include "ui/wintext.h"
#include "base/oemtext.h"
#include "base/trace.h"
#include "disk/discovery.h"
#include "disk/sectorio.h"
#include "filtersvc/restart.h"
#include "pages/disklist_ui.h"
#include "pages/page_words.h"
#include "pages/page_worker.h"
#include "pages/pages.h"
#include "pages/run_progress.h"
#include "pages/usbformat_texts.h"
#include "sys/sys.h"
#include "usbformat/texts.h"
#include "usbformat/usbformat.h"
#include "words/words.h"

namespace {

// One format, shared by the page and its thread so that it outlives whichever lets go last. The thread reads
// nothing but this: the options are read once when the format starts, and the disk's record is a copy, so a
// refresh of the page's table during the format changes nothing the thread uses.
struct FormatJob {
  RemovableDisk target;
  DeviceHandle disk;
  UsbFormatOptions options;
  RunOutcome outcome;        // written by the worker before it returns
  PageRun run;               // its progress and the Stop button's flag
  std::string status;        // the status line the percent is added to
};

struct UsbFormatPage {
  HWND window = nullptr;
  DiskTable disks;
  int remembered = 0;              // the list entry kept across hiding, showing and device changes
  void* notification = nullptr;    // volume arrivals and removals
  HANDLE thread = nullptr;         // the running format's thread; none while idle
  std::shared_ptr<FormatJob> job;  // the running format
};

UsbFormatPage gPage;

bool Formatting() { return gPage.job != nullptr; }

std::string WithDisk(const TextPair& text, const char* description) {
  char line[256];
  std::snprintf(line, sizeof line, Tr(text), description);
  return line;
}

int ShowPageMessage(HWND window, const char* text, UINT style) {
  return ShowMessage(window, text, Tr(kUsbFormatCaption), style);
}

void SetStatus(HWND window, const char* text) { SetControlText(window, IDC_USB_STATUS, text); }

void Enable(HWND window, int id, bool enabled) { EnableWindow(GetDlgItem(window, id), enabled ? TRUE : FALSE); }

// --- Reading the fields -------------------------------------------------------------------------------------------

// An unsigned decimal from the start of the field; nothing readable gives 0, a number beyond 32 bits the largest
// one (which is refused as too many entries, never cut to a small count).
uint32_t ParseRootEntries(const std::string& text) {
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    value = value * 10 + static_cast<uint64_t>(c - '0');
    if (value > UINT32_MAX) return UINT32_MAX;
  }
  return static_cast<uint32_t>(value);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Up to two hexadecimal digits; nothing readable gives 0.
uint8_t ParseFillByte(const std::string& text) {
  unsigned value = 0;
  for (size_t i = 0; i < text.size() && i < 2; ++i) {
    int digit = HexDigit(text[i]);
    if (digit < 0) break;
    value = value * 16 + static_cast<unsigned>(digit);
  }
  return static_cast<uint8_t>(value);
}

// The label's bytes for the root directory entry, in the OEM code page as the FAT directory holds names: false,
// with the refusal shown, when a character is not in the code page or the bytes are more than the entry's 11.
bool ReadLabel(HWND window, std::string* label) {
  OemText oem = ToOemText(GetControlText(window, IDC_USB_LABEL), bpb::kLabelSize);
  if (oem.fault != OemTextFault::kNone) {
    ShowPageMessage(window, OemTextRefusal(oem, bpb::kLabelSize).c_str(), MB_ICONERROR);
    return false;
  }
  *label = oem.bytes;
  return true;
}

// The entry a drop-down combo box shows. Its field can be typed over, and the list's selection may then differ
// from what the user sees (or be none): the text counts. -1 when it names no entry.
int ComboChoice(HWND window, int id) {
  std::wstring text = Utf8ToWide(GetControlText(window, id).c_str());
  if (text.empty()) return -1;
  LRESULT found = SendDlgItemMessageW(window, id, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                      reinterpret_cast<LPARAM>(text.c_str()));
  return found == CB_ERR ? -1 : static_cast<int>(found);
}

bool IsTicked(HWND window, int id) { return IsDlgButtonChecked(window, id) == BST_CHECKED; }

// Every choice of the page, read once when the format starts.
UsbFormatOptions ReadOptions(HWND window) {
  UsbFormatOptions options;
  int fats = ComboChoice(window, IDC_USB_FAT_COUNT), unit = ComboChoice(window, IDC_USB_UNIT);
  options.fatCount = fats < 0 ? 0 : static_cast<uint32_t>(fats) + 1;        // "1", "2"
  options.clusterBytes = unit < 0 ? 0 : kSectorSize << unit;                // "512 bytes" .. "65536 bytes"
  options.rootEntries = ParseRootEntries(GetControlText(window, IDC_USB_ROOT_ENTRIES));
  options.fillDataArea = IsTicked(window, IDC_USB_FILL);
  options.fillByte = ParseFillByte(GetControlText(window, IDC_USB_FILL_BYTE));
  options.dosBoot = IsTicked(window, IDC_USB_DOS_BOOT);
  options.bootMode = ComboChoice(window, IDC_USB_BOOT_MODE);
  int mbr = ComboChoice(window, IDC_USB_MBR_SIZE);
  options.mbrSectors = mbr == 0 ? 32 : mbr == 1 ? 63 : 0;                    // "32", "63"
  options.dos = ComboChoice(window, IDC_USB_DOS_VERSION) >= 1 ? kDos71 : kDos622;  // "6.22", "7.1"
  return options;
}

// --- The disk list ------------------------------------------------------------------------------------------------

const RemovableDisk* SelectedDisk(HWND window) {
  int selected = ListSelection(window, IDC_USB_DISK_LIST);
  if (selected < 0 || selected >= DiskCount(gPage.disks)) return nullptr;
  return &gPage.disks.slots[selected];
}

int RefreshList(HWND window) {
  DiskListView view =
      RefreshDiskList(window, IDC_USB_DISK_LIST, DiskListPage::UsbFormat, &gPage.disks, gPage.remembered);
  return static_cast<int>(view.lines.size());
}

void SelectRemembered(HWND window) {
  SendDlgItemMessageW(window, IDC_USB_DISK_LIST, LB_SETCURSEL, static_cast<WPARAM>(gPage.remembered), 0);
}

void RememberSelection(HWND window) {
  int selected = ListSelection(window, IDC_USB_DISK_LIST);
  gPage.remembered = selected < 0 ? 0 : selected;
}

// Runs during a format too: the list shows what is there, and the format works on its own copy of the record.
void OnDeviceChange(HWND window, WPARAM event, LPARAM data) {
  if (!IsVolumeArrivalOrRemoval(event, data)) return;
  int count = RefreshList(window);
  gPage.remembered = RememberedAfterDeviceChange(gPage.remembered, count);
  SelectRemembered(window);
}

void OnDiskSelected(HWND window) {
  if (!IsWindowEnabled(GetDlgItem(window, IDC_USB_START))) return;
  RememberSelection(window);
  const RemovableDisk* disk = SelectedDisk(window);
  if (!disk) return;
  SetControlText(window, IDC_USB_START, WithDisk(kUsbStartSelected, disk->description).c_str());
  SetStatus(window, WithDisk(kUsbDataLossStatus, disk->description).c_str());
}

void OnShown(HWND window) {
  SelectRemembered(window);
  const RemovableDisk* disk = SelectedDisk(window);
  if (disk && disk->serviceActive != 0) RestartVolume(disk->volumeName);
}

// --- Opening the page ---------------------------------------------------------------------------------------------

// The choices the page opens with: two FATs, no label, 256 root entries, fill byte 0 (not used), the unit list
// filled (its entry is chosen for the disk once the list is there). The hidden DOS-boot group stays at FDD boot,
// 32 sectors, DOS 6.22, disabled.
void SetInitialChoices(HWND window) {
  SendDlgItemMessageW(window, IDC_USB_LABEL, EM_LIMITTEXT, kUsbLabelMaxChars, 0);
  SendDlgItemMessageW(window, IDC_USB_FILL_BYTE, EM_LIMITTEXT, kUsbFillByteMaxChars, 0);
  FillComboBox(window, IDC_USB_UNIT, kUsbUnits, 0);
  FillComboBox(window, IDC_USB_FAT_COUNT, kUsbFatCounts, 1);
  SetControlText(window, IDC_USB_FILL_BYTE, kUsbInitialFillByte);
  SetControlText(window, IDC_USB_ROOT_ENTRIES, kUsbInitialRootEntries);
  FillComboBox(window, IDC_USB_BOOT_MODE, kUsbBootModes, 0);
  FillComboBox(window, IDC_USB_MBR_SIZE, kUsbMbrSizes, 0);
  FillComboBox(window, IDC_USB_DOS_VERSION, kUsbDosVersions, 0);
  Enable(window, IDC_USB_MBR_SIZE, false);
  Enable(window, IDC_USB_BOOT_MODE, false);
  Enable(window, IDC_USB_DOS_VERSION, false);
  CheckDlgButton(window, IDC_USB_VERIFY, BST_CHECKED);
}

// The unit offered first: the smallest one that suits the disk selected when the page opens (65,536 bytes with no
// disk). A later change of disk leaves the list as the user set it.
void SelectDefaultUnit(HWND window) {
  const RemovableDisk* disk = SelectedDisk(window);
  uint32_t rootEntries = ParseRootEntries(GetControlText(window, IDC_USB_ROOT_ENTRIES));
  uint32_t unit = MinimumAllocationUnit(disk ? disk->sectorCount : 0, rootEntries);
  int index = 0;  // the list's entry k is 512 x 2^k bytes
  while ((kSectorSize << index) < unit) ++index;
  SendDlgItemMessageW(window, IDC_USB_UNIT, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void OnInitDialog(HWND window) {
  gPage.window = window;
  gPage.remembered = 0;
  gPage.thread = nullptr;
  gPage.job.reset();
  FitSheetToPage(window);
  SetEnglishControlTexts(window, kUsbFormatControlTexts);
  gPage.notification = SysRegisterDeviceNotification(window, &kGuidDevinterfaceVolume);
  SetInitialChoices(window);
  RefreshList(window);
  SelectDefaultUnit(window);
}

void ReleaseNotification() {
  if (gPage.notification) SysUnregisterDeviceNotification(gPage.notification);
  gPage.notification = nullptr;
}

// --- The format ---------------------------------------------------------------------------------------------------

// The worker's part of a format.
void UsbFormatWork(const std::shared_ptr<FormatJob>& job) {
  job->outcome = RunUsbFormat(job->disk.get(), job->target.sectorCount, job->options, job->target.driveLetters,
                              nullptr, &job->run.control);
  job->disk.reset();
}

const TextPair& RefusalText(Refusal refusal) {
  switch (refusal) {
    case Refusal::kNoSectors: return kUsbDiskWithoutCapacity;
    case Refusal::kTooManyRootEntries: return kUsbTooManyRootEntries;
    case Refusal::kNoClusterSize: return kNoUnitSizeSelected;
    case Refusal::kClusterTooLarge: return kUsbClusterTooLarge;
    case Refusal::kNoFatCount: return kNoFatCountSelected;
    case Refusal::kNoDataArea: return kNoDataArea;
    case Refusal::kNoRootEntries: return kNoRootEntries;
    case Refusal::kSystemFilesUnusable: return kSystemFilesUnusable;
    default: return kBeyondFat16;
  }
}

// A choice the volume cannot be built from, decided by the format thread: FAT16 cannot hold the volume (the status
// says so and a box names the smallest unit that would do), or no room is left for data.
void ShowVolumeRefusal(HWND window, const RunOutcome& outcome) {
  if (outcome.failedStep != RunStep::kCheck) return;
  bool beyondFat16 = outcome.refusal == Refusal::kTooManyClusters || outcome.refusal == Refusal::kBeyondFat16;
  if (beyondFat16) SetStatus(window, Tr(kFat16ExceededStatus));
  if (outcome.refusal == Refusal::kTooManyClusters)  // the suggestion's caption is English in both languages
    ShowMessage(window, UnitSuggestionText(outcome).c_str(), "Format usb disk", MB_ICONINFORMATION);
  else
    ShowPageMessage(window, Tr(RefusalText(outcome.refusal)), MB_ICONERROR);
}

void EnterIdle(HWND window) {
  SetStatus(window, Tr(kUsbEndedStatus));
  Enable(window, IDC_USB_START, true);
  Enable(window, IDC_USB_DISK_LIST, true);
  bool selected = ListSelection(window, IDC_USB_DISK_LIST) >= 0;
  SetControlText(window, IDC_USB_START, Tr(selected ? kUsbStartAfterFormatSelected : kUsbStartAfterFormat));
}

// The format's completion (or a worker that could not be started). The failure names, and the restart reaches, the disk
// that was formatted, whatever the refreshed list selects now.
void OnFormatEnded(HWND window) {
  if (!Formatting()) return;
  EndWorker(&gPage.thread);  // it has posted; this only waits for its return
  std::shared_ptr<FormatJob> job = std::move(gPage.job);
  job->disk.reset();
  RefreshList(window);
  ShowVolumeRefusal(window, job->outcome);
  const RunOutcome& outcome = job->outcome;
  const bool capacity = outcome.failedStep == RunStep::kCapacity;
  if (outcome.failedStep == RunStep::kLockVolumes)
    ShowPageMessage(window, Tr(kUsbDiskInUse), MB_ICONERROR);
  else if (outcome.stopped)
    ShowPageMessage(window, Tr(kUsbFormatStopped), MB_ICONERROR);
  else if (capacity || outcome.failedStep == RunStep::kVerify)
    ShowPageMessage(window, FormatText(Tr(capacity ? kUsbCapacityFailed : kUsbVerifyFailed),
                                       static_cast<unsigned long long>(outcome.sector)).c_str(),
                    MB_ICONERROR);
  else if (outcome.Succeeded())
    ShowPageMessage(window, Tr(kUsbFormatCompleted), MB_ICONINFORMATION);
  else
    ShowPageMessage(window, WithDisk(kUsbFormatFailed, job->target.description).c_str(), MB_ICONINFORMATION);
  EnterIdle(window);
  // A disk whose volumes another program holds was not touched: there is nothing new for the system to read.
  if (job->outcome.failedStep != RunStep::kLockVolumes) RestartVolume(job->target.volumeName);
}

void StartThread(HWND window, std::shared_ptr<FormatJob> job) {
  job->status = WithDisk(kUsbFormattingStatus, job->target.description);
  SetStatus(window, job->status.c_str());
  PreparePageRun(&job->run, window, IsTicked(window, IDC_USB_VERIFY));
  // The start button is the Stop button while the format runs.
  SetControlText(window, IDC_USB_START, Tr(kRunStopButton));
  Enable(window, IDC_USB_DISK_LIST, false);
  gPage.job = job;
  gPage.thread = StartWorker(window, 0, [job] { UsbFormatWork(job); });
  if (gPage.thread) return;
  TraceLastError("CreateThread");
  gPage.job->outcome.EndAt(RunStep::kOpen, 0, GetLastError());  // nothing was begun: told as a failed format
  OnFormatEnded(window);  // the disk closes with the job
}

void ReportOpenFailure(HWND window, uint32_t error) {
  if (error == kSysErrorSharingViolation)
    ShowPageMessage(window, Tr(kUsbDiskInUse), MB_ICONERROR);
  else
    ShowPageMessage(window, Tr(kUsbInsertDisk), MB_RETRYCANCEL | MB_ICONERROR);
}

void OnStartClicked(HWND window) {
  if (Formatting()) {
    // Stop: the format ends before its next write; the button waits for it.
    gPage.job->run.stop = true;
    SetControlText(window, IDC_USB_START, Tr(kRunStoppingButton));
    Enable(window, IDC_USB_START, false);
    return;
  }
  const RemovableDisk* disk = SelectedDisk(window);
  if (!disk) {
    ShowPageMessage(window, Tr(kUsbNoDiskSelected), MB_ICONERROR);
    return;
  }
  std::string label;
  if (!ReadLabel(window, &label)) return;
  auto job = std::make_shared<FormatJob>();
  job->target = *disk;
  const std::string question = QuestionNamingDisk(Tr(kUsbConfirm), DiskListLine(DiskListPage::UsbFormat, *disk));
  if (ShowMessage(window, question.c_str(), Tr(kUsbConfirmCaption), MB_OKCANCEL | MB_ICONINFORMATION) != IDOK) return;
  job->disk = DeviceHandle(OpenDevice(job->target.deviceName));
  if (!job->disk.valid()) {
    ReportOpenFailure(window, SysGetLastError());
    return;
  }
  job->options = ReadOptions(window);
  job->options.label = label;
  Refusal refusal = CheckUsbFormatRequest(job->target.sectorCount, job->options);
  if (refusal != Refusal::kNone) {
    ShowPageMessage(window, Tr(RefusalText(refusal)), MB_ICONERROR);  // the disk closes with the job
    return;
  }
  StartThread(window, std::move(job));
}

// The sheet can close while a format runs; the process must not end halfway through the disk.
void OnDestroy() {
  ReleaseNotification();
  if (!gPage.thread) return;
  EndWorker(&gPage.thread);
  std::shared_ptr<FormatJob> job = std::move(gPage.job);
  if (job->outcome.failedStep != RunStep::kLockVolumes) RestartVolume(job->target.volumeName);
}

// --- Commands -----------------------------------------------------------------------------------------------------

const TextPair* FocusHint(int id, WORD code) {
  if (id == IDC_USB_LABEL && code == EN_SETFOCUS) return &kUsbHintLabel;
  if (id == IDC_USB_ROOT_ENTRIES && code == EN_SETFOCUS) return &kUsbHintRootEntries;
  if (id == IDC_USB_UNIT && code == CBN_SETFOCUS) return &kUsbHintUnit;
  if (id == IDC_USB_FAT_COUNT && code == CBN_SETFOCUS) return &kUsbHintFatCount;
  if (id == IDC_USB_FILL_BYTE && code == EN_SETFOCUS) return &kUsbHintFill;
  return nullptr;
}

void OnDosBootClicked(HWND window) {
  bool on = IsTicked(window, IDC_USB_DOS_BOOT);
  Enable(window, IDC_USB_BOOT_MODE, on);
  Enable(window, IDC_USB_DOS_VERSION, on);
  Enable(window, IDC_USB_MBR_SIZE, false);
  if (on) SendDlgItemMessageW(window, IDC_USB_BOOT_MODE, CB_SETCURSEL, 0, 0);
}

void OnBootModeChanged(HWND window) {
  LRESULT mode = SendDlgItemMessageW(window, IDC_USB_BOOT_MODE, CB_GETCURSEL, 0, 0);
  Enable(window, IDC_USB_MBR_SIZE, mode == 1 || mode == 2);  // "HDD boot", "ZIP boot"
}

void OnCommand(HWND window, int id, WORD code) {
  if (const TextPair* hint = FocusHint(id, code)) {
    if (!Formatting()) SetStatus(window, Tr(*hint));
    return;
  }
  switch (id) {
    case IDC_USB_START:
      if (code == BN_CLICKED) OnStartClicked(window);
      break;
    case IDC_USB_FILL:
      if (code == BN_CLICKED && IsTicked(window, IDC_USB_FILL) && !Formatting())
        ShowPageMessage(window, Tr(kUsbFillWarning), MB_ICONWARNING);
      break;
    case IDC_USB_DISK_LIST:
      if (code == LBN_SELCHANGE) OnDiskSelected(window);
      break;
    case IDC_USB_DOS_BOOT:
      if (code == BN_CLICKED) OnDosBootClicked(window);
      break;
    case IDC_USB_BOOT_MODE:
      if (code == CBN_SELCHANGE) OnBootModeChanged(window);
      break;
    case IDCANCEL:
      if (!Formatting()) DestroyWindow(window);
      break;
    default:
      break;
  }
}

// Help, and no other page in front while a format runs (answered through DWLP_MSGRESULT).
INT_PTR OnNotify(HWND window, const NMHDR& header) {
  if (header.code == PSN_KILLACTIVE) return AnswerPageLeaving(window, Formatting());
  if (header.code == PSN_HELP) ShowInstructions(window, kUsbFormatInstructions);
  return FALSE;
}

}  // namespace

INT_PTR CALLBACK UsbFormatPageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog(window);
      return 0;
    case WM_NOTIFY:
      return OnNotify(window, *reinterpret_cast<const NMHDR*>(lParam));
    case WM_COMMAND:
      OnCommand(window, LOWORD(wParam), HIWORD(wParam));
      return 0;
    case WM_DEVICECHANGE:
      OnDeviceChange(window, wParam, lParam);
      return 0;
    case kWorkerProgress:
      if (gPage.job) SetStatus(window, WithPercent(gPage.job->status, static_cast<int>(wParam)).c_str());
      return 0;
    case kWorkerBox:
      return AnswerWorkerBox(window, lParam);
    case kWorkerDone:
      OnFormatEnded(window);
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wParam) != WA_INACTIVE)
        SelectRemembered(window);
      else
        RememberSelection(window);
      return 0;
    case WM_SHOWWINDOW:
      if (wParam)
        OnShown(window);
      else
        RememberSelection(window);
      return 0;
    case WM_DESTROY:
      OnDestroy();
      return 0;
    default:
      return 0;
  }
}
