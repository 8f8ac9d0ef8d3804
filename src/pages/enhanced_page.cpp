// Enhanced edition page (dialog 131): floppy blocks on a USB disk and the multi-floppy service.
//
// The page's thread owns the controls, the disk table and the mirror of the block list. Two workers can run beside
// it, one of each kind: the service run (switch the filter driver on or off) and the block format run. Each gets
// what it needs in a job read from the controls when the user starts it, and reports back through the page-worker
// messages (pages/page_worker.h) that the page applies here. The block operations themselves (scan, switching,
// identifiers, formatting) are core calls; this file only shows what they return.
#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/instructions.h"
#include "ui/message.h"
#include "ui/resource_ids.h"
#include "ui/sheet.h"
#include "ui/wintext.h"
#include "base/trace.h"
#include "blocks/blocks.h"
#include "blocks/texts.h"
#include "disk/discovery.h"
#include "disk/disklist.h"
#include "disk/queries.h"
#include "filtersvc/service.h"
#include "pages/service_texts.h"
#include "pages/busy_indicator.h"
#include "pages/disklist_ui.h"
#include "pages/run_progress.h"
#include "pages/enhanced_texts.h"
#include "pages/files_dialog.h"
#include "pages/files_texts.h"
#include "pages/page_words.h"
#include "pages/page_worker.h"
#include "pages/pages.h"
#include "sys/sys.h"

namespace {

// The page's two workers, the `which` of their busy reports and completions. The format worker's kWorkerUpdate
// carries a FormatRefresh.
enum : WPARAM { kServiceWorker = 1, kFormatWorker = 2 };

static_assert(IDC_ENH_BUSY_FIRST == kBusyFirstSquareId && IDC_ENH_BUSY_COUNT == kBusySquares, "busy squares");

// One service run: what the worker needs, and its result on the way back. The page keeps it until the completion.
struct ServiceJob {
  HWND page = nullptr;
  bool start = false;                // the switch's state after the click
  std::optional<ServiceDisk> disk;   // none: no disk was selected
  BlockDisk blockDisk;               // the same disk, for the block configuration after a start
  BlockKind kind = FloppyKind::k1440K;
  ServiceRunResult result;
};

struct FormatJob {
  HWND page = nullptr;
  BlockFormatJob job;
  PageRun* run = nullptr;  // the page's, alive until the run's end arrived
};

struct FormatRefresh {
  BlockScan scan;
  int currentEntry = -1;
  BlockShow show;
};

struct EnhancedPage {
  HWND window = nullptr;
  DiskTable disks;
  int remembered = 0;
  std::vector<std::string> blockEntries;  // the block list as scanned: entry k stands for block k
  void* notification = nullptr;
  HANDLE formatThread = nullptr;          // the last format run's thread, closed when the next starts
  bool formatRunning = false;             // from the start of a run until its end arrived
  HANDLE serviceThread = nullptr;         // while a service run goes on
  bool formatBusy = false;                // each run keeps the busy indicator going while it works
  bool serviceBusy = false;
  bool busyShown = false;
  std::unique_ptr<PageRun> formatRun;     // the running format's progress and Stop flag
  std::string formatStatus;               // its last status line, which the percent follows
  int formatPercent = -1;                 // the last percent it reported
  std::unique_ptr<ServiceJob> serviceJob; // the running service run's job
  std::vector<HWND> heldForRun;           // the controls the run disabled, enabled again at its end
  std::string batchCaption;               // the batch button's caption before it became the Stop button
  bool filesOpen = false;                 // while the files dialog is up (modal, on this thread)
};

EnhancedPage gPage;

// --- Small helpers -------------------------------------------------------------------------------------------

HWND Item(int id) { return GetDlgItem(gPage.window, id); }

void SetText(int id, const std::string& text) { SetControlText(gPage.window, id, text.c_str()); }
void SetStatus(const std::string& text) { SetText(IDC_ENH_STATUS, text); }
void SetNumber(int id, uint32_t value) { SetText(id, std::to_string(value)); }

// An edit's unsigned decimal value; anything that is no number reads as 0.
uint32_t ReadNumber(int id) {
  return static_cast<uint32_t>(std::strtoul(GetControlText(gPage.window, id).c_str(), nullptr, 10));
}

int ComboSelection(int id) { return static_cast<int>(SendDlgItemMessageW(gPage.window, id, CB_GETCURSEL, 0, 0)); }
void SetComboSelection(int id, int index) {
  SendDlgItemMessageW(gPage.window, id, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}
// The kind list's entries stand in FloppyKind's order; no entry is selected when the user typed into the box.
BlockKind ChosenKind() {
  const int entry = ComboSelection(IDC_ENH_KIND);
  if (entry < 0 || entry >= kFloppyKindCount) return std::nullopt;
  return static_cast<FloppyKind>(entry);
}
int CurrentBlockEntry() { return ComboSelection(IDC_ENH_BLOCK_LIST); }

void Tell(const BlockNotice& notice) {
  ShowMessage(gPage.window, notice.text.c_str(), notice.caption.c_str(),
              notice.information ? MB_ICONINFORMATION : MB_ICONERROR);
}
void TellError(const TextPair& text) { ShowMessage(gPage.window, Tr(text), Tr(kEnhCaption), MB_ICONERROR); }

// --- The disk list -------------------------------------------------------------------------------------------

RemovableDisk* SelectedDisk() {
  int index = ListSelection(gPage.window, IDC_ENH_DISK_LIST);
  return index >= 0 && index < DiskCount(gPage.disks) ? &gPage.disks.slots[index] : nullptr;
}

RemovableDisk* FindDisk(const std::string& deviceName) {
  for (int i = 0; i < DiskCount(gPage.disks); ++i)
    if (deviceName == gPage.disks.slots[i].deviceName) return &gPage.disks.slots[i];
  return nullptr;
}

BlockDisk ToBlockDisk(const RemovableDisk& disk) {
  BlockDisk block;
  block.deviceName = disk.deviceName;
  block.volumeName = disk.volumeName;
  block.driveLetters = disk.driveLetters;
  block.partitionStart = disk.partitionStart;
  block.partitionLength = disk.partitionLength;
  block.serviceActive = disk.serviceActive == 1;
  block.bytesPerSector = disk.bytesPerSector;
  block.driveNumber = disk.driveNumber;
  block.description = disk.description;
  block.listLine = DiskListLine(DiskListPage::Enhanced, disk);
  return block;
}

std::optional<BlockDisk> SelectedBlockDisk() {
  RemovableDisk* disk = SelectedDisk();
  return disk ? std::optional<BlockDisk>(ToBlockDisk(*disk)) : std::nullopt;
}

void SelectDiskLine(int index) {
  SendDlgItemMessageW(gPage.window, IDC_ENH_DISK_LIST, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void RememberSelection() {
  int selected = ListSelection(gPage.window, IDC_ENH_DISK_LIST);
  gPage.remembered = selected < 0 ? 0 : selected;
}

// The service switch shows whether the selected disk's service is on.
void UpdateServiceSwitch() {
  RemovableDisk* disk = SelectedDisk();
  CheckDlgButton(gPage.window, IDC_ENH_SERVICE, disk && disk->serviceActive == 1 ? BST_CHECKED : BST_UNCHECKED);
}

// Rewrites one disk's line (its "+ " or "! " mark follows serviceActive), keeping the selection.
void RewriteDiskLine(const RemovableDisk& disk) {
  int index = static_cast<int>(&disk - gPage.disks.slots);
  HWND list = Item(IDC_ENH_DISK_LIST);
  int selected = ListSelection(gPage.window, IDC_ENH_DISK_LIST);
  std::wstring line = Utf8ToWide(DiskListLine(DiskListPage::Enhanced, disk).c_str());
  SendMessageW(list, LB_DELETESTRING, static_cast<WPARAM>(index), 0);
  SendMessageW(list, LB_INSERTSTRING, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(line.c_str()));
  SelectDiskLine(selected);
}

// --- Blocks --------------------------------------------------------------------------------------------------

void ApplyScan(const BlockScan& scan) {
  HWND list = Item(IDC_ENH_BLOCK_LIST);
  SendMessageW(list, CB_RESETCONTENT, 0, 0);
  gPage.blockEntries.clear();
  SetText(IDC_ENH_BLOCK_GROUP, Tr(kBlockGroupCaption));
  SetText(IDC_ENH_IDENTIFIER, "");
  SetStatus(scan.status);
  if (scan.outcome == BlockScanOutcome::kServiceOff) SetNumber(IDC_ENH_BLOCK_NUMBER, 0);
  if (scan.outcome != BlockScanOutcome::kScanned) return;
  gPage.blockEntries = scan.entries;
  for (const std::string& entry : scan.entries)
    SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Utf8ToWide(entry.c_str()).c_str()));
  SetComboSelection(IDC_ENH_BLOCK_LIST, scan.currentEntry);
  SetNumber(IDC_ENH_BLOCK_NUMBER, scan.blockNumber);
  SetText(IDC_ENH_IDENTIFIER, scan.identifier);
  CheckDlgButton(gPage.window, IDC_ENH_SERVICE, BST_CHECKED);
  SetText(IDC_ENH_COUNT_CAPTION, scan.blockCountLabel);
  SetNumber(IDC_ENH_COUNT, scan.blockCount);
}

void ScanSelectedDisk() {
  if (std::optional<BlockDisk> disk = SelectedBlockDisk()) ApplyScan(ScanFloppyBlocks(*disk, ChosenKind()));
}

// After a switch: the block number and identifier of the presented block, its entry current again.
void ApplyShow(const BlockShow& show, int entry) {
  if (!show.shown) return;
  SetNumber(IDC_ENH_BLOCK_NUMBER, show.blockNumber);
  SetText(IDC_ENH_IDENTIFIER, show.identifier);
  SetComboSelection(IDC_ENH_BLOCK_LIST, entry);
}

// Has the driver present the block of the current entry.
void ShowCurrentBlock() {
  std::optional<BlockDisk> disk = SelectedBlockDisk();
  int entry = CurrentBlockEntry();
  ApplyShow(ShowFloppyBlock(disk ? &*disk : nullptr, entry, gPage.blockEntries, ChosenKind()), entry);
}

// Previous and next: make the step's entry current, then press the hidden go-to button as the user's click would.
void ApplyStep(const BlockStep& step) {
  if (step.action == BlockStep::kNotice) Tell(step.notice);
  if (step.action != BlockStep::kGoTo) return;
  SetComboSelection(IDC_ENH_BLOCK_LIST, static_cast<int>(step.block));
  SetNumber(IDC_ENH_BLOCK_NUMBER, step.block);
  SendMessageW(gPage.window, WM_COMMAND, MAKEWPARAM(IDC_ENH_GOTO, BN_CLICKED),
               reinterpret_cast<LPARAM>(Item(IDC_ENH_GOTO)));
}

void OnPrevious() {
  std::optional<BlockDisk> disk = SelectedBlockDisk();
  ApplyStep(PreviousBlockStep(disk ? &*disk : nullptr, ReadNumber(IDC_ENH_BLOCK_NUMBER)));
}

void OnNext() {
  std::optional<BlockDisk> disk = SelectedBlockDisk();
  ApplyStep(NextBlockStep(disk ? &*disk : nullptr, ReadNumber(IDC_ENH_BLOCK_NUMBER), ChosenKind()));
}

void OnGoTo() {
  std::optional<BlockDisk> disk = SelectedBlockDisk();
  int entry = CurrentBlockEntry();
  BlockGoTo go = GoToFloppyBlock(disk ? &*disk : nullptr, ReadNumber(IDC_ENH_BLOCK_NUMBER), ChosenKind(), entry,
                                 gPage.blockEntries);
  ApplyShow(go.show, entry);
  if (go.notice) Tell(*go.notice);
}

void OnRename() {
  std::optional<BlockDisk> disk = SelectedBlockDisk();
  BlockIdentify renamed =
      RenameBlockIdentifier(disk ? &*disk : nullptr, ChosenKind(), GetControlText(gPage.window, IDC_ENH_IDENTIFIER));
  if (renamed.notice) Tell(*renamed.notice);
  if (renamed.status) SetStatus(*renamed.status);
}

// The files of the current block: the presented one with the service on, any formatted block without it.
void OnFiles() {
  std::optional<BlockDisk> disk = SelectedBlockDisk();
  if (!disk) return TellError(kEnhSelectDiskFirst);
  const BlockKind kind = ChosenKind();
  if (!kind) return TellError(kEnhKindNotChosen);
  FilesDialogRequest request;
  request.disk = *disk;
  request.kind = *kind;
  if (disk->serviceActive) {
    request.presentedBlock = GetCurrentBlock(disk->deviceName.c_str());
    if (request.presentedBlock < gPage.blockEntries.size())
      request.presentedEntry = gPage.blockEntries[request.presentedBlock];
  } else if (CurrentBlockEntry() >= 0) {
    request.presentedBlock = static_cast<uint32_t>(CurrentBlockEntry());
  }
  gPage.filesOpen = true;
  ShowFilesDialog(gPage.window, request);
  gPage.filesOpen = false;
}

void OnBlockSelected() {
  RemovableDisk* disk = SelectedDisk();
  if (!disk) return TellError(kEnhSelectDiskFirst);
  if (disk->serviceActive != 1) return TellError(kEnhStartServiceFirst);
  ShowCurrentBlock();
}

// A new kind: the batch button names it, the driver learns the new block size and the disk is scanned anew.
void OnKindChanged() {
  const BlockKind kind = ChosenKind();
  if (!kind) return TellError(kEnhKindNotChosen);
  SetText(IDC_ENH_BATCH_FORMAT, FormatText(Tr(kEnhMakeKindButton), kEnhFloppyKinds[static_cast<int>(*kind)]));
  std::optional<BlockDisk> disk = SelectedBlockDisk();
  if (!disk) return;
  ConfigureBlocks(&*disk, kBlockModeInUse, kind);
  ApplyScan(ScanFloppyBlocks(*disk, kind));
  SetComboSelection(IDC_ENH_BLOCK_LIST, static_cast<int>(GetCurrentBlock(disk->deviceName.c_str())));
  ShowCurrentBlock();
}

void OnDiskSelected() {
  gPage.remembered = ListSelection(gPage.window, IDC_ENH_DISK_LIST);
  ScanSelectedDisk();
  ShowCurrentBlock();
  UpdateServiceSwitch();
  SelectDiskLine(gPage.remembered);
}

// --- Busy indicator ------------------------------------------------------------------------------------------

// Runs while either worker works; a service run ending does not stop it under a format run, nor the other way.
void UpdateBusyIndicator() {
  bool busy = gPage.formatBusy || gPage.serviceBusy;
  if (busy == gPage.busyShown) return;
  gPage.busyShown = busy;
  ShowBusyIndicator(gPage.window, busy);
}

// --- Service run ---------------------------------------------------------------------------------------------

// The text of a service run's outcome.
const TextPair& ServiceOutcomeText(ServiceOutcome outcome) {
  switch (outcome) {
    case ServiceOutcome::NoDisk: return kServiceNoDisk;
    case ServiceOutcome::DriverMissing: return kServiceDriverMissing;
    case ServiceOutcome::NoDevice: return kServiceNoDevice;
    case ServiceOutcome::Started: return kServiceStarted;
    case ServiceOutcome::StartNeedsRestart: return kServiceStartNeedsRestart;
    case ServiceOutcome::StartFailed: return kServiceStartFailed;
    case ServiceOutcome::DriverNotLoaded: return kServiceDriverNotLoaded;
    case ServiceOutcome::Stopped: return kServiceStopped;
    case ServiceOutcome::StopNeedsRestart: return kServiceStopNeedsRestart;
    case ServiceOutcome::StopFailed: break;
  }
  return kServiceStopFailed;
}

void ServiceWork(ServiceJob& run) {
  run.result = RunServiceSwitch(run.start, run.disk ? &*run.disk : nullptr,
                                [&run] { ConfigureBlocks(&run.blockDisk, kBlockModeInUse, run.kind); });
  const ServiceOutcome outcome = run.result.outcome;
  // No disk and a driver the system did not load are errors; every other outcome is information.
  const bool noDisk = outcome == ServiceOutcome::NoDisk, error = noDisk || outcome == ServiceOutcome::DriverNotLoaded;
  // The indicator stops before the outcome is told.
  PostMessageW(run.page, kWorkerBusy, 0, kServiceWorker);
  WorkerMessageBox(run.page, Tr(ServiceOutcomeText(outcome)), Tr(noDisk ? kServiceNoDiskCaption : kServiceCaption),
                   error ? MB_ICONERROR : MB_ICONINFORMATION);
}

// One run at a time: while a service run or a format run goes on, the switch and the format buttons are disabled.
// A format while the filter comes or goes could land in another block than the one it was meant for, and a second
// click on a format button (before the run's question took the sheet) would start a second writer.
void UpdateRunControls() {
  const BOOL idle = !gPage.serviceThread && !gPage.formatRunning;
  EnableWindow(Item(IDC_ENH_SERVICE), idle);
  EnableWindow(Item(IDC_ENH_SINGLE_FORMAT), idle);
  // While a run holds the sheet, the batch button is its Stop button.
  const bool stoppable = gPage.formatRunning && !gPage.heldForRun.empty() && gPage.formatRun && !gPage.formatRun->stop;
  EnableWindow(Item(IDC_ENH_BATCH_FORMAT), idle || stoppable);
  EnableWindow(Item(IDC_ENH_FILES), idle);
  UpdateBusyIndicator();
}

void OnServiceSwitch() {
  bool start = IsDlgButtonChecked(gPage.window, IDC_ENH_SERVICE) == BST_CHECKED;
  auto job = std::make_unique<ServiceJob>();
  job->page = gPage.window;
  job->start = start;
  job->kind = ChosenKind();
  if (RemovableDisk* disk = SelectedDisk()) {
    job->disk = ServiceDisk{disk->deviceName, disk->pdoName, disk->serviceActive == 1};
    job->blockDisk = ToBlockDisk(*disk);
  }
  // The switch is disabled while a run goes on; a click that comes all the same is undone.
  if (gPage.serviceThread || gPage.formatRunning || !BeginServiceRun()) {
    CheckDlgButton(gPage.window, IDC_ENH_SERVICE, start ? BST_UNCHECKED : BST_CHECKED);
    return;
  }
  // A page that is gone can no longer end the run: the worker ends it, so that the next page may start one.
  gPage.serviceThread = StartWorker(gPage.window, kServiceWorker, [run = job.get()] { ServiceWork(*run); },
                                    [] { EndServiceRun(); });
  if (!gPage.serviceThread) {
    TraceLastError("CreateThread");
    EndServiceRun();
    UpdateServiceSwitch();
    return;
  }
  gPage.serviceJob = std::move(job);
  gPage.serviceBusy = true;
  UpdateRunControls();
}

void OnServiceRunEnded(ServiceJob* ended) {
  std::unique_ptr<ServiceJob> job(ended);
  if (!job) return;  // a stray completion
  EndWorker(&gPage.serviceThread);
  EndServiceRun();
  gPage.serviceBusy = false;
  UpdateRunControls();
  if (job->disk) {
    if (RemovableDisk* disk = FindDisk(job->disk->deviceName)) {
      disk->serviceActive = job->result.serviceActive ? 1 : 0;
      RewriteDiskLine(*disk);
    }
    // The selected disk's blocks as the service now shows them.
    RemovableDisk* selected = SelectedDisk();
    if (selected && job->disk->deviceName == selected->deviceName) ScanSelectedDisk();
  }
  UpdateServiceSwitch();
}

// --- Block format run ----------------------------------------------------------------------------------------

BlockFormatJob ReadFormatJob(bool batch) {
  BlockFormatJob job;
  job.disk = SelectedBlockDisk();
  job.batch = batch;
  job.batchCount = ReadNumber(IDC_ENH_COUNT);
  job.currentEntry = CurrentBlockEntry();
  job.entries = gPage.blockEntries;
  job.identifier = GetControlText(gPage.window, IDC_ENH_IDENTIFIER);
  job.kind = ChosenKind();
  job.dosBoxChecked = IsDlgButtonChecked(gPage.window, IDC_ENH_DOS_BOOT) == BST_CHECKED;
  job.dosEntry = ComboSelection(IDC_ENH_DOS_VERSION);
  return job;
}

// The run's questions and outcome are shown by the page's thread (modal to the page), which holds the whole sheet
// while the run writes; everything the run has to show reaches the page as a worker message.
void FormatWork(const FormatJob& job) {
  HWND page = job.page;
  auto tell = [page](const BlockNotice& notice, UINT buttons) {
    return WorkerMessageBox(page, notice.text.c_str(), notice.caption.c_str(),
                            buttons | (notice.information ? MB_ICONINFORMATION : MB_ICONERROR));
  };
  BlockFormatUi ui;
  ui.written = [tell](const RunOutcome& outcome) { tell(BlockFormatOutcomeNotice(outcome), MB_OK); };
  ui.sheetEnabled = [page](bool enabled) { PostMessageW(page, kWorkerHold, enabled ? 0 : 1, 0); };
  ui.busyIndicator = [page](bool on) { PostMessageW(page, kWorkerBusy, on ? 1 : 0, kFormatWorker); };
  ui.status = [page](uint32_t block, BlockStage stage) {
    PostToPage(page, kWorkerStatus, new std::string(BlockFormatStatus(block, stage)));
  };
  ui.refreshed = [page](const BlockScan& scan, int currentEntry, const BlockShow& show) {
    PostToPage(page, kWorkerUpdate, new FormatRefresh{scan, currentEntry, show});
  };
  const Refusal refusal = CheckBlockFormatJob(job.job);
  if (refusal != Refusal::kNone)
    tell(BlockFormatRefusalNotice(job.job, refusal), MB_OK);
  else if (tell(BlockFormatQuestion(job.job), MB_OKCANCEL) == IDOK)
    RunBlockFormat(job.job, ui, &job.run->control);
}

// While a run writes, nothing may start another or leave the page: the sheet's tabs and buttons and the page's
// controls are disabled, all but the batch button, which stops the run, so the page stays responsive. Giving back
// a sheet that was never held (a run refused or cancelled before it wrote) leaves the batch button's name alone.
void HoldSheetForRun(bool hold) {
  if (!hold) {
    if (gPage.heldForRun.empty()) return;
    for (HWND control : gPage.heldForRun) EnableWindow(control, TRUE);
    gPage.heldForRun.clear();
    SetText(IDC_ENH_BATCH_FORMAT, gPage.batchCaption);
    return;
  }
  if (!gPage.heldForRun.empty()) return;
  HWND sheet = SheetWindow();
  auto holdControl = [](HWND control) {
    if (control && IsWindowEnabled(control)) {
      EnableWindow(control, FALSE);
      gPage.heldForRun.push_back(control);
    }
  };
  holdControl(PropSheet_GetTabControl(sheet));
  for (int id : kSheetButtonIds) holdControl(GetDlgItem(sheet, id));
  // Texts (the status line with its percent, the labels, the busy squares) stay as they are drawn.
  for (HWND child = GetWindow(gPage.window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t className[16] = {};
    GetClassNameW(child, className, 16);
    if (child != Item(IDC_ENH_BATCH_FORMAT) && lstrcmpiW(className, L"Static") != 0) holdControl(child);
  }
  EnableWindow(Item(IDC_ENH_BATCH_FORMAT), TRUE);
  gPage.batchCaption = GetControlText(gPage.window, IDC_ENH_BATCH_FORMAT);
  SetText(IDC_ENH_BATCH_FORMAT, Tr(kRunStopButton));
}

void StartFormatRun(bool batch) {
  if (gPage.formatRunning && batch && gPage.formatRun) {
    // The batch button is the Stop button while a run writes: the run ends before its next write.
    gPage.formatRun->stop = true;
    SetText(IDC_ENH_BATCH_FORMAT, Tr(kRunStoppingButton));
    EnableWindow(Item(IDC_ENH_BATCH_FORMAT), FALSE);
    return;
  }
  if (gPage.formatRunning || gPage.serviceThread) return;  // the buttons are disabled then; a click may be queued
  auto job = std::make_unique<FormatJob>();
  job->page = gPage.window;
  job->job = ReadFormatJob(batch);
  gPage.formatRun = std::make_unique<PageRun>();
  PreparePageRun(gPage.formatRun.get(), gPage.window,
                 IsDlgButtonChecked(gPage.window, IDC_ENH_VERIFY) == BST_CHECKED);
  job->run = gPage.formatRun.get();
  gPage.formatThread = StartWorker(gPage.window, kFormatWorker,
                                   [run = std::shared_ptr<FormatJob>(std::move(job))] { FormatWork(*run); });
  if (!gPage.formatThread) return TellError(kEnhThreadNotCreated);
  gPage.formatRunning = true;
  UpdateRunControls();
}

void OnFormatRefreshed(FormatRefresh* posted) {
  std::unique_ptr<FormatRefresh> refresh(posted);
  // The writes are over: the controls come back first, so that what the rescan enables or disables stands.
  HoldSheetForRun(false);
  ApplyScan(refresh->scan);
  SetComboSelection(IDC_ENH_BLOCK_LIST, refresh->currentEntry);
  ApplyShow(refresh->show, refresh->currentEntry);
}

// --- Opening, visibility, device changes ---------------------------------------------------------------------

// The choices the page opens with: 1.44M blocks, not bootable with DOS 7.1 preset in the disabled DOS list, block
// number 1, identifiers of at most 8 characters.
void SetInitialChoices(HWND window) {
  FillComboBox(window, IDC_ENH_DOS_VERSION, kEnhDosVersions, 1);
  EnableWindow(GetDlgItem(window, IDC_ENH_DOS_VERSION), FALSE);
  FillComboBox(window, IDC_ENH_KIND, kEnhFloppyKinds, 2);
  SetControlText(window, IDC_ENH_BLOCK_NUMBER, kEnhInitialBlockNumber);
  SetControlText(window, IDC_ENH_STATUS, Tr(kEnhStatusAtStart));
  SendDlgItemMessageW(window, IDC_ENH_IDENTIFIER, EM_LIMITTEXT, kEnhIdentifierMaxChars, 0);
  CheckDlgButton(window, IDC_ENH_VERIFY, BST_CHECKED);
}

// The page is initialised anew each time the sheet opens, so nothing of an earlier sheet's page is kept.
void ResetPage(HWND window) {
  gPage.window = window;
  gPage.disks = DiskTable();
  gPage.remembered = 0;
  gPage.blockEntries.clear();
  gPage.notification = nullptr;
  gPage.formatThread = nullptr;
  gPage.formatRunning = false;
  gPage.serviceThread = nullptr;
  gPage.formatBusy = gPage.serviceBusy = gPage.busyShown = false;
  gPage.serviceJob.reset();
}

void OnInitDialog(HWND window) {
  ResetPage(window);
  FitSheetToPage(window);
  SetEnglishControlTexts(window, kEnhancedControlTexts);
  SetInitialChoices(window);
  PrepareBusyIndicator(window);
  gPage.notification = SysRegisterDeviceNotification(window, &kGuidDevinterfaceVolume);
  RefreshDiskList(window, IDC_ENH_DISK_LIST, DiskListPage::Enhanced, &gPage.disks, gPage.remembered);
  SetComboSelection(IDC_ENH_BLOCK_LIST, 0);
  if (SelectedDisk()) {
    ScanSelectedDisk();
    gPage.remembered = ListSelection(window, IDC_ENH_DISK_LIST);
  }
}

// Back on this page: the driver learns the layout again and presents the block it presented before.
void OnShown() {
  UpdateBusyIndicator();
  RefreshDiskList(gPage.window, IDC_ENH_DISK_LIST, DiskListPage::Enhanced, &gPage.disks, gPage.remembered);
  SetComboSelection(IDC_ENH_BLOCK_LIST, 0);
  std::optional<BlockDisk> disk = SelectedBlockDisk();
  if (!disk) return;
  ConfigureBlocks(&*disk, kBlockModeInUse, ChosenKind());
  ApplyScan(ScanFloppyBlocks(*disk, ChosenKind()));
  if (disk->serviceActive) ShowCurrentBlock();
}

// Another page comes to the front: the driver is told that this page is no longer in use.
void OnHidden() {
  RememberSelection();
  std::optional<BlockDisk> disk = SelectedBlockDisk();
  if (disk && disk->serviceActive) ConfigureBlocks(&*disk, kBlockModeHidden, ChosenKind());
}

void OnDeviceChange(WPARAM event, LPARAM data) {
  if (!IsVolumeArrivalOrRemoval(event, data)) return SelectDiskLine(gPage.remembered);
  SetStatus(Tr(kEnhStatusAfterDeviceChange));
  DiskListView view =
      RefreshDiskList(gPage.window, IDC_ENH_DISK_LIST, DiskListPage::Enhanced, &gPage.disks, gPage.remembered);
  gPage.remembered = RememberedAfterDeviceChange(gPage.remembered, static_cast<int>(view.lines.size()));
  SelectDiskLine(gPage.remembered);
  // A format run rescans when it is done; a scan now would move the presented block under its writes.
  if (!gPage.formatRunning) ScanSelectedDisk();
  UpdateServiceSwitch();
}

// --- Closing -------------------------------------------------------------------------------------------------

// Applies the reports the workers posted and the page has not seen yet, so that none is lost with the window.
void TakePendingReports() {
  MSG message;
  while (PeekMessageW(&message, gPage.window, kWorkerProgress, kWorkerDone, PM_REMOVE)) DispatchMessageW(&message);
}

// For each disk whose service still runs, asks whether to switch it off first; Yes sends the user back to a new
// sheet. Without a Yes the program ends.
void AskToStopServices() {
  SetSheetEndFlag(true);
  for (int i = 0; i < DiskCount(gPage.disks); ++i) {
    const RemovableDisk& disk = gPage.disks.slots[i];
    if (disk.serviceActive != 1) continue;
    std::string question = FormatText(Tr(kEnhExitQuestion), disk.hardwareKey);
    if (ShowMessage(gPage.window, question.c_str(), Tr(kEnhCaption), MB_YESNO | MB_ICONERROR) == IDYES) {
      SetSheetEndFlag(false);
      return;
    }
  }
  PostQuitMessage(0);
}

// The workers are waited for (a question one asks meanwhile is still answered), so that none outlives the page.
void OnDestroy() {
  EndWorker(&gPage.formatThread);
  EndWorker(&gPage.serviceThread);
  TakePendingReports();
  if (gPage.busyShown) ShowBusyIndicator(gPage.window, false);
  if (gPage.notification) SysUnregisterDeviceNotification(gPage.notification);
  gPage.notification = nullptr;
  AskToStopServices();
}

// --- Dispatch ------------------------------------------------------------------------------------------------

void OnCommand(WORD id, WORD code) {
  const bool clicked = code == BN_CLICKED;
  switch (id) {
    case IDC_ENH_DISK_LIST:
      if (code == LBN_SELCHANGE) OnDiskSelected();
      break;
    case IDC_ENH_SERVICE:
      if (clicked) OnServiceSwitch();
      break;
    case IDC_ENH_BLOCK_LIST:
      if (code == CBN_SELCHANGE) OnBlockSelected();
      break;
    case IDC_ENH_PREVIOUS:
      if (clicked) OnPrevious();
      break;
    case IDC_ENH_NEXT:
      if (clicked) OnNext();
      break;
    case IDC_ENH_GOTO:
      if (clicked) OnGoTo();
      break;
    case IDC_ENH_RENAME:
      if (clicked) OnRename();
      break;
    case IDC_ENH_FILES:
      if (clicked) OnFiles();
      break;
    case IDC_ENH_KIND:
      if (code == CBN_SELCHANGE) OnKindChanged();
      break;
    case IDC_ENH_DOS_BOOT:
      if (clicked)
        EnableWindow(Item(IDC_ENH_DOS_VERSION), IsDlgButtonChecked(gPage.window, IDC_ENH_DOS_BOOT) == BST_CHECKED);
      break;
    case IDC_ENH_BATCH_FORMAT:
      if (clicked) StartFormatRun(true);
      break;
    case IDC_ENH_SINGLE_FORMAT:
      if (clicked) StartFormatRun(false);
      break;
    default:
      break;
  }
}

// The format run's completion: the sheet given back, the page idle again.
void OnFormatEnded() {
  if (!gPage.formatRunning) return;  // a stray completion
  EndWorker(&gPage.formatThread);
  HoldSheetForRun(false);
  gPage.formatRunning = false;
  gPage.formatBusy = false;
  gPage.formatRun.reset();
  gPage.formatStatus.clear();
  gPage.formatPercent = -1;
  UpdateRunControls();
}

// The workers' reports.
void OnReport(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case kWorkerDone:
      if (wParam == kServiceWorker) OnServiceRunEnded(gPage.serviceJob.release());
      else OnFormatEnded();
      break;
    case kWorkerStatus: {
      std::unique_ptr<std::string> line(reinterpret_cast<std::string*>(lParam));
      gPage.formatStatus = *line;
      SetStatus(gPage.formatPercent < 0 ? *line : WithPercent(*line, gPage.formatPercent));
      break;
    }
    case kWorkerProgress:
      gPage.formatPercent = static_cast<int>(wParam);
      if (gPage.formatRunning && !gPage.formatStatus.empty())
        SetStatus(WithPercent(gPage.formatStatus, gPage.formatPercent));
      break;
    case kWorkerHold:
      HoldSheetForRun(wParam != 0);
      break;
    case kWorkerBusy:
      (lParam == kServiceWorker ? gPage.serviceBusy : gPage.formatBusy) = wParam != 0;
      UpdateBusyIndicator();
      break;
    case kWorkerUpdate:
      OnFormatRefreshed(reinterpret_cast<FormatRefresh*>(lParam));
      break;
    default:
      break;
  }
}

}  // namespace

INT_PTR CALLBACK EnhancedPageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog(window);
      return 0;
    case WM_SHOWWINDOW:
      // Only the sheet's page changes; a minimised sheet leaves the page in use.
      if (lParam == 0) wParam ? OnShown() : OnHidden();
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_INACTIVE) RememberSelection();
      else SelectDiskLine(gPage.remembered);
      return 0;
    case WM_DEVICECHANGE:
      OnDeviceChange(wParam, lParam);
      return 0;
    case WM_NOTIFY:
      if (reinterpret_cast<const NMHDR*>(lParam)->code == PSN_HELP) ShowInstructions(window, kEnhancedInstructions);
      // Hidden, the page would have the driver present the disk unchanged under a run's writes.
      if (reinterpret_cast<const NMHDR*>(lParam)->code == PSN_KILLACTIVE)
        return AnswerPageLeaving(window, gPage.formatRunning || gPage.serviceThread || gPage.filesOpen);
      // The close box stays usable while a format writes: the sheet does not close until the run has ended.
      if (reinterpret_cast<const NMHDR*>(lParam)->code == PSN_QUERYCANCEL) {
        SetWindowLongPtrW(window, DWLP_MSGRESULT, gPage.formatRunning ? TRUE : FALSE);
        return TRUE;
      }
      return 0;
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam));
      return 0;
    case WM_DRAWITEM:
      return DrawBusySquare(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)) ? TRUE : FALSE;
    case WM_DESTROY:
      OnDestroy();
      return 0;
    case kWorkerBox:
      return AnswerWorkerBox(window, lParam);
    case kWorkerProgress:
    case kWorkerStatus:
    case kWorkerBusy:
    case kWorkerHold:
    case kWorkerUpdate:
    case kWorkerDone:
      OnReport(message, wParam, lParam);
      return 0;
    default:
      return 0;
  }
}
