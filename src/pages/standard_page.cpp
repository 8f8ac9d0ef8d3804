// Standard edition page (dialog 130): formats the whole USB disk as one floppy image.
//
// The page's thread owns the controls and the disk table. A format runs on a worker thread that gets everything it
// needs in a FormatJob read from the controls when the user starts it; the worker writes the disk, restarts its
// device and closes the disk; its completion (pages/page_worker.h) brings the page back. The list is refilled only
// on the page's thread.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <memory>
#include <string>

#include "ui/instructions.h"
#include "ui/message.h"
#include "ui/resource_ids.h"
#include "ui/sheet.h"
#include "ui/wintext.h"
#include "disk/sectorio.h"
#include "filtersvc/restart.h"
#include "floppy/diskformat.h"
#include "floppy/floppy.h"
#include "pages/disklist_ui.h"
#include "pages/page_words.h"
#include "pages/page_worker.h"
#include "pages/pages.h"
#include "pages/standard_texts.h"

namespace {

// What the controls ask for. `write` is false when they name no kind, or DOS without a version: then nothing is
// written and the run ends as a failure.
struct FormatChoice {
  bool write = false;
  FloppyKind kind = FloppyKind::k1440K;
  DosVersion dos = kDosNone;
};

// The outcome of a run that wrote nothing (no kind chosen, or no thread to run it): told as a failed format.
RunOutcome NothingWritten() { return RunOutcome().EndAt(RunStep::kCheck); }

// One format run. The worker owns the disk handle and closes it; `outcome` is written before the worker returns,
// and the page reads it only once the completion arrived or the thread ended.
struct FormatJob {
  DeviceHandle disk;
  FormatChoice choice;
  std::string volumeName;   // restarted after writing
  std::string driveLetters; // the volumes held exclusively while the disk is written
  std::string description;  // names the disk in the completion message, whatever the list shows by then
  RunOutcome outcome = NothingWritten();
  PageRun run;         // its progress and the Stop button's flag
  std::string status;  // the status line the percent is added to
};

struct StandardPage {
  HWND window = nullptr;
  DiskTable disks;
  int remembered = kNoSelection;
  void* notification = nullptr;
  HANDLE thread = nullptr;  // the format thread, while one runs
  std::unique_ptr<FormatJob> job;
};

StandardPage gPage;

// A text with the disk's volume texts in its %s.
std::string WithDisk(const TextPair& text, const char* description) { return FormatText(Tr(text), description); }

bool Formatting() { return gPage.thread != nullptr; }

void Tell(HWND window, const TextPair& text, const TextPair& caption, UINT style) {
  ShowMessage(window, Tr(text), Tr(caption), style);
}

void SetStatus(HWND window, const std::string& text) { SetControlText(window, IDC_STD_STATUS, text.c_str()); }
void SetButtonText(HWND window, const std::string& text) { SetControlText(window, IDC_STD_START, text.c_str()); }

void SelectListEntry(HWND window, int index) {
  SendDlgItemMessageW(window, IDC_STD_DISK_LIST, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

// The list after a device came or went: rediscovered, and the remembered entry moved onto the last line when it
// lies past the end (an empty list before counts as past the end, so an arrival selects the last new disk).
void RefillAfterDeviceChange(HWND window) {
  DiskListView view = RefreshDiskList(window, IDC_STD_DISK_LIST, DiskListPage::Standard, &gPage.disks,
                                      gPage.remembered);
  gPage.remembered = RememberedAfterDeviceChange(gPage.remembered, static_cast<int>(view.lines.size()));
  SelectListEntry(window, gPage.remembered);
}

// --- Opening, activation, visibility -------------------------------------------------------------------------

// The choices the page opens with: 1.44M, not bootable, DOS 7.1 preset in the disabled DOS list.
void SetInitialChoices(HWND window) {
  CheckRadioButton(window, IDC_STD_720K, IDC_STD_1200K, IDC_STD_1440K);
  FillComboBox(window, IDC_STD_DOS_VERSION, kStdDosVersions, 1);
  EnableWindow(GetDlgItem(window, IDC_STD_DOS_VERSION), FALSE);
}

void OnInitDialog(HWND window) {
  gPage.window = window;
  gPage.thread = nullptr;
  gPage.job.reset();
  FitSheetToPage(window);
  SetEnglishControlTexts(window, kStandardControlTexts);
  gPage.notification = SysRegisterDeviceNotification(window, &kGuidDevinterfaceVolume);
  gPage.remembered = 0;
  RefreshDiskList(window, IDC_STD_DISK_LIST, DiskListPage::Standard, &gPage.disks, gPage.remembered);
  SelectListEntry(window, 0);
  gPage.remembered = ListSelection(window, IDC_STD_DISK_LIST);
  SetInitialChoices(window);
}

// The selection kept while the page is away; none is kept as the first entry.
void RememberSelection(HWND window) {
  int selected = ListSelection(window, IDC_STD_DISK_LIST);
  gPage.remembered = selected < 0 ? 0 : selected;
}

void OnShown(HWND window) {
  SelectListEntry(window, gPage.remembered);
  // A disk whose multi-floppy service runs is restarted, so that the system shows the block the driver presents.
  int index = gPage.remembered;
  if (index >= 0 && index < DiskCount(gPage.disks) && gPage.disks.slots[index].serviceActive == 1)
    RestartVolume(gPage.disks.slots[index].volumeName);
}

// Closing the page: the notification goes with it. A format still running (the sheet closed from another page)
// is waited for, so that the disk is never left half written and the worker never outlives its job.
void OnDestroy() {
  EndWorker(&gPage.thread);
  gPage.job.reset();
  if (gPage.notification) SysUnregisterDeviceNotification(gPage.notification);
  gPage.notification = nullptr;
  gPage.window = nullptr;
}

// --- The format ----------------------------------------------------------------------------------------------

FormatChoice ReadChoice(HWND window) {
  FormatChoice choice;
  if (IsDlgButtonChecked(window, IDC_STD_1440K) == BST_CHECKED) {
    choice.kind = FloppyKind::k1440K;
  } else if (IsDlgButtonChecked(window, IDC_STD_1200K) == BST_CHECKED) {
    choice.kind = FloppyKind::k1200K;
  } else if (IsDlgButtonChecked(window, IDC_STD_720K) == BST_CHECKED) {
    choice.kind = FloppyKind::k720K;
  } else {
    return choice;
  }
  if (IsDlgButtonChecked(window, IDC_STD_DOS_BOOT) == BST_CHECKED) {
    LRESULT entry = SendDlgItemMessageW(window, IDC_STD_DOS_VERSION, CB_GETCURSEL, 0, 0);
    if (entry == 0) choice.dos = kDos622;
    else if (entry == 1) choice.dos = kDos71;
    else return choice;  // a version typed into the box rather than picked names none
  }
  choice.write = true;
  return choice;
}

// The worker's part of a run.
void FormatWork(FormatJob* job) {
  const FormatChoice& choice = job->choice;
  RunOutcome outcome = NothingWritten();
  if (choice.write) {
    outcome = FormatDiskAsFloppy(job->disk.get(), job->driveLetters.c_str(), choice.kind, choice.dos,
                                 &job->run.control);
  }
  // A disk whose volumes another program holds was not touched: there is nothing new for the system to read.
  if (outcome.failedStep != RunStep::kLockVolumes) RestartVolume(job->volumeName.c_str());
  job->disk.reset();
  job->outcome = std::move(outcome);
}

// Opens the disk, or tells the user why it cannot be opened.
DeviceHandle OpenDisk(HWND window, const RemovableDisk& disk) {
  DeviceHandle handle(OpenDevice(disk.deviceName));
  if (handle.valid()) return handle;
  if (SysGetLastError() == kSysErrorSharingViolation)
    Tell(window, kStdDiskInUse, kStdFormatCaption, MB_ICONERROR);
  else
    Tell(window, kStdOpenFailed, kStdFormatCaption, MB_RETRYCANCEL | MB_ICONERROR);  // either answer just closes it
  return handle;
}

// The checks of an opened disk against what it is to hold; false after telling the user.
bool DiskCanHold(HWND window, const RemovableDisk& disk, const FormatChoice& choice) {
  if (disk.sectorCount == 0) {
    Tell(window, kStdNoCapacity, kStdFormatCaption, MB_ICONERROR);
    return false;
  }
  if (disk.bytesPerSector > kSectorSize) {
    std::string text = FormatText(Tr(kStdSectorTooLarge), static_cast<int>(disk.bytesPerSector));
    ShowMessage(window, text.c_str(), Tr(kStdFormatCaptionEnglish), MB_ICONERROR);
    return false;
  }
  // The writer does not look at the disk's size: an image that does not fit would end in failed writes.
  if (choice.write && disk.sectorCount < GeometryOf(choice.kind).totalSectors) {
    Tell(window, kStdTooSmall, kStdFormatCaption, MB_ICONERROR);
    return false;
  }
  return true;
}

void EnableStart(HWND window, bool enabled) {
  EnableWindow(GetDlgItem(window, IDC_STD_START), enabled);
  EnableWindow(GetDlgItem(window, IDC_STD_DISK_LIST), enabled);
}

// The end of a run: the list rediscovered here, on the page's thread, the outcome told, the page idle again.
void FinishFormat(HWND window, const std::string& description, const RunOutcome& outcome, bool stopped) {
  RefillAfterDeviceChange(window);
  if (outcome.failedStep == RunStep::kLockVolumes) {
    Tell(window, kStdDiskInUse, kStdFormatCaption, MB_ICONERROR);
  } else if (stopped && !outcome.Succeeded()) {
    Tell(window, kStdFormatStopped, kStdFormatCaption, MB_ICONERROR);
  } else {
    const TextPair& text = outcome.Succeeded() ? kStdFormatDone : kStdFormatFailed;
    ShowMessage(window, WithDisk(text, description.c_str()).c_str(), Tr(kStdFormatCaptionEnglish),
                MB_ICONINFORMATION);
  }
  SetStatus(window, Tr(kStdSelectDisk));
  EnableStart(window, true);
  int selected = ListSelection(window, IDC_STD_DISK_LIST);
  if (selected < 0 || selected >= DiskCount(gPage.disks))
    SetButtonText(window, Tr(kStdBeginButton));
  else
    SetButtonText(window, WithDisk(kStdBeginDiskButton, gPage.disks.slots[selected].description));
}

void StartFormat(HWND window) {
  int index = ListSelection(window, IDC_STD_DISK_LIST);
  if (index < 0 || index >= DiskCount(gPage.disks)) {
    Tell(window, kStdNoDiskSelected, kStdFormatCaption, MB_ICONERROR);
    return;
  }
  // A copy: device events handled while the message boxes are up refill the table, and the run must stay on the
  // disk the user confirmed.
  const RemovableDisk disk = gPage.disks.slots[index];
  const std::string question = QuestionNamingDisk(Tr(kStdConfirm), DiskListLine(DiskListPage::Standard, disk));
  if (ShowMessage(window, question.c_str(), Tr(kStdHintCaption), MB_OKCANCEL | MB_ICONINFORMATION) != IDOK) return;
  auto job = std::make_unique<FormatJob>();
  job->disk = OpenDisk(window, disk);
  if (!job->disk.valid()) return;
  job->choice = ReadChoice(window);
  if (!DiskCanHold(window, disk, job->choice)) return;  // the job closes the disk as it goes
  job->volumeName = disk.volumeName;
  job->driveLetters = disk.driveLetters;
  job->description = disk.description;

  job->status = WithDisk(kStdFormatting, disk.description);
  SetStatus(window, job->status);
  PreparePageRun(&job->run, window, false);
  // The start button is the Stop button while the format runs.
  EnableWindow(GetDlgItem(window, IDC_STD_DISK_LIST), FALSE);
  SetButtonText(window, Tr(kRunStopButton));
  HANDLE thread = StartWorker(window, 0, [run = job.get()] { FormatWork(run); });
  if (!thread) {
    std::string description = job->description;
    job.reset();
    FinishFormat(window, description, NothingWritten(), false);
    return;
  }
  gPage.job = std::move(job);
  gPage.thread = thread;
}

// The format's completion. One while no run is going on (a stray message) is ignored.
void OnFormatDone(HWND window) {
  if (!Formatting()) return;
  EndWorker(&gPage.thread);  // the worker returns right after posting
  std::unique_ptr<FormatJob> job = std::move(gPage.job);
  FinishFormat(window, job->description, job->outcome, job->run.stop);
}

// --- Commands and notifications --------------------------------------------------------------------------------

void OnDiskSelected(HWND window) {
  if (!IsWindowEnabled(GetDlgItem(window, IDC_STD_START))) return;
  int index = ListSelection(window, IDC_STD_DISK_LIST);
  if (index < 0 || index >= DiskCount(gPage.disks)) return;
  gPage.remembered = index;
  const char* description = gPage.disks.slots[index].description;
  SetButtonText(window, WithDisk(kStdReadyButton, description));
  SetStatus(window, WithDisk(kStdDiskWarning, description));
}

void OnCommand(HWND window, WORD id, WORD code) {
  switch (id) {
    case IDC_STD_720K:
      SetStatus(window, Tr(kStd720KHint));
      break;
    case IDC_STD_1200K:
      SetStatus(window, Tr(kStd1200KHint));
      break;
    case IDC_STD_1440K:
      SetStatus(window, Tr(kStd1440KHint));
      break;
    case IDC_STD_DOS_BOOT:
      if (code == BN_CLICKED)
        EnableWindow(GetDlgItem(window, IDC_STD_DOS_VERSION),
                     IsDlgButtonChecked(window, IDC_STD_DOS_BOOT) == BST_CHECKED);
      break;
    case IDC_STD_DISK_LIST:
      if (code == LBN_SELCHANGE) OnDiskSelected(window);
      break;
    case IDC_STD_START:
      if (code == BN_CLICKED && Formatting()) {
        gPage.job->run.stop = true;  // the format ends before its next write
        SetButtonText(window, Tr(kRunStoppingButton));
        EnableWindow(GetDlgItem(window, IDC_STD_START), FALSE);
      } else if (code == BN_CLICKED) {
        StartFormat(window);
      }
      break;
    case IDCANCEL:
      if (!Formatting()) DestroyWindow(window);
      break;
    default:
      break;
  }
}

// The sheet asks before it closes (OK, Cancel, the close box): not while a format runs, which would be cut off
// halfway through the disk. Nor does another page come to the front while it runs. Answers go back through
// DWLP_MSGRESULT.
bool OnNotify(HWND window, const NMHDR& header) {
  switch (header.code) {
    case PSN_HELP:
      ShowInstructions(window, kStandardInstructions);
      return false;
    case PSN_KILLACTIVE:
      return AnswerPageLeaving(window, Formatting()) != FALSE;
    case PSN_QUERYCANCEL:
      SetWindowLongPtrW(window, DWLP_MSGRESULT, Formatting() ? TRUE : FALSE);
      return true;
    case PSN_APPLY:
      SetWindowLongPtrW(window, DWLP_MSGRESULT, Formatting() ? PSNRET_INVALID : PSNRET_NOERROR);
      return true;
    default:
      return false;
  }
}

}  // namespace

INT_PTR CALLBACK StandardPageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog(window);
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wParam) != WA_INACTIVE) SelectListEntry(window, gPage.remembered);
      else RememberSelection(window);
      return 0;
    case WM_SHOWWINDOW:
      if (wParam) OnShown(window);
      else RememberSelection(window);
      return 0;
    case WM_COMMAND:
      OnCommand(window, LOWORD(wParam), HIWORD(wParam));
      return 0;
    case WM_DEVICECHANGE:
      if (IsVolumeArrivalOrRemoval(wParam, lParam)) RefillAfterDeviceChange(window);
      return 0;
    case kWorkerProgress:
      if (gPage.job) SetStatus(window, WithPercent(gPage.job->status, static_cast<int>(wParam)));
      return 0;
    case kWorkerBox:
      return AnswerWorkerBox(window, lParam);
    case kWorkerDone:
      OnFormatDone(window);
      return 0;
    case WM_NOTIFY:
      return OnNotify(window, *reinterpret_cast<const NMHDR*>(lParam)) ? TRUE : FALSE;
    case WM_DESTROY:
      OnDestroy();
      return 0;
    default:
      return 0;
  }
}
