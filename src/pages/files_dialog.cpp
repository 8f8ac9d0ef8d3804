// The files dialog: what the user picks and drops goes to the core's file layer (fatfiles) through the block's
// place on the disk; every change holds the disk's volumes while it writes and restarts the volume afterwards.
#include "pages/files_dialog.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ui/message.h"
#include "ui/resource_ids.h"
#include "ui/sheet.h"
#include "ui/wintext.h"
#include "base/oemtext.h"
#include "blocks/texts.h"
#include "fatfiles/fatfiles.h"
#include "pages/files_texts.h"
#include "words/words.h"

namespace {

std::function<std::vector<std::wstring>()> gPickFilesHook;
std::function<std::wstring()> gPickFolderHook;

struct FilesDialog {
  HWND window = nullptr;
  FilesDialogRequest request;
  std::vector<uint32_t> blocks;  // block of each entry of the block list
  std::string folder;            // "" is the root folder; "A/B" inside it
  std::vector<FatFileEntry> entries;
};

FilesDialog* gDialog = nullptr;  // the dialog is modal: one at a time

std::string Format(const TextPair& text, const std::string& a, const std::string& b = "") {
  char buffer[1024];
  std::snprintf(buffer, sizeof buffer, Tr(text), a.c_str(), b.c_str());
  return buffer;
}

void Tell(const std::string& text, UINT icon = MB_ICONERROR) {
  ShowMessage(gDialog->window, text.c_str(), Tr(kBlockCaption), icon);
}
bool Ask(const std::string& text) {
  return ShowMessage(gDialog->window, text.c_str(), Tr(kBlockCaption), MB_YESNO | MB_ICONQUESTION) == IDYES;
}

// Digits in groups of three: 1,457,664.
std::string Grouped(uint64_t value) {
  std::string digits = std::to_string(value), out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

std::string DateText(uint16_t date, uint16_t time) {
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u", 1980u + (date >> 9), (date >> 5) & 15u, date & 31u,
                time >> 11, (time >> 5) & 63u);
  return text;
}

HWND List() { return GetDlgItem(gDialog->window, IDC_FILES_LIST); }

bool CurrentPlace(BlockFilesPlace* place) {
  int entry = static_cast<int>(SendDlgItemMessageW(gDialog->window, IDC_FILES_BLOCK, CB_GETCURSEL, 0, 0));
  if (entry < 0 || entry >= static_cast<int>(gDialog->blocks.size())) return false;
  return FindBlockFilesPlace(gDialog->request.disk, gDialog->request.kind, gDialog->blocks[entry], place);
}

std::string InFolder(const std::string& name) { return gDialog->folder.empty() ? name : gDialog->folder + "/" + name; }

void AddRow(int row, const std::string& name, const std::string& size, const std::string& date, LPARAM tag) {
  std::wstring wide = Utf8ToWide(name.c_str());
  LVITEMW item{};
  item.mask = LVIF_TEXT | LVIF_PARAM;
  item.iItem = row;
  item.pszText = &wide[0];
  item.lParam = tag;
  SendMessageW(List(), LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
  const std::string columns[] = {size, date};
  for (int c = 0; c < 2; ++c) {
    std::wstring text = Utf8ToWide(columns[c].c_str());
    LVITEMW sub{};
    sub.iSubItem = c + 1;
    sub.pszText = &text[0];
    SendMessageW(List(), LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&sub));
  }
}

// Names as stored may hold bytes of the machine's OEM code page: shown through it.
std::string StoredName(const std::string& name) { return FromOemText(name); }

// The files layer's message with the name it names shown through the OEM code page.
std::string Message(FatFilesResult r) {
  r.name = StoredName(r.name);
  return FatFilesMessage(r);
}

// A name the user gave as the volume keeps it: letters upper-cased, in the OEM code page, an 8.3 name. False when
// it is none; `refusal` then says why when the code page lacks one of its characters (else it is left empty).
bool VolumeShortName(const std::string& name, uint8_t shortName[11], std::string* refusal) {
  OemText oem = ToOemText(UpperCaseName(name), std::string::npos);
  if (oem.fault != OemTextFault::kNone) {
    *refusal = OemTextRefusal(oem, std::string::npos);
    return false;
  }
  return MakeShortName(oem.bytes, shortName, SysGetOemCodePage());
}

void Refresh() {
  SendMessageW(List(), LVM_DELETEALLITEMS, 0, 0);
  gDialog->entries.clear();
  SetControlText(gDialog->window, IDC_FILES_FOLDER, Format(kFilesFolder, "\\" + StoredName(gDialog->folder)).c_str());
  SetControlText(gDialog->window, IDC_FILES_FREE, "");
  BlockFilesPlace place;
  if (!CurrentPlace(&place)) return;
  FatVolumeInfo info;
  FatFilesResult r = LookAtBlockFiles(place, [&](SysHandle disk, uint32_t start) {
    FatFilesResult listed = ListFatDirectory(disk, start, gDialog->folder, &gDialog->entries);
    return listed.ok() ? ReadFatVolumeInfo(disk, start, &info) : listed;
  });
  if (!r.ok()) return Tell(Message(r));
  int row = 0;
  if (!gDialog->folder.empty()) AddRow(row++, "..", Tr(kFilesFolderSize), "", -1);
  for (size_t i = 0; i < gDialog->entries.size(); ++i) {
    const FatFileEntry& e = gDialog->entries[i];
    AddRow(row++, StoredName(e.name), e.directory ? Tr(kFilesFolderSize) : Grouped(e.size), DateText(e.date, e.time),
           static_cast<LPARAM>(i));
  }
  SetControlText(gDialog->window, IDC_FILES_FREE,
                 Format(kFilesFree, Grouped(info.freeBytes), Grouped(info.totalBytes)).c_str());
}

// Runs a change of the current block, tells a failure, and lists the folder again.
void Change(const FatFilesCall& change) {
  BlockFilesPlace place;
  if (!CurrentPlace(&place)) return;
  HCURSOR previous = SetCursor(LoadCursor(nullptr, IDC_WAIT));
  FatFilesResult r = ChangeBlockFiles(place, change);
  SetCursor(previous);
  if (!r.ok()) Tell(Message(r));
  Refresh();
}

// The rows the user selected: indexes into entries (".." is never one of them).
std::vector<size_t> SelectedEntries() {
  std::vector<size_t> selected;
  for (int row = -1; (row = static_cast<int>(SendMessageW(List(), LVM_GETNEXTITEM, static_cast<WPARAM>(row),
                                                          LVNI_SELECTED))) >= 0;) {
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    SendMessageW(List(), LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    if (item.lParam >= 0) selected.push_back(static_cast<size_t>(item.lParam));
  }
  return selected;
}

// --- The name dialog -----------------------------------------------------------------------------------------

struct NameRequest {
  std::string prompt, name;
};

INT_PTR CALLBACK NameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  NameRequest* request = reinterpret_cast<NameRequest*>(GetWindowLongPtrW(window, DWLP_USER));
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(window, DWLP_USER, lParam);
    request = reinterpret_cast<NameRequest*>(lParam);
    SetEnglishControlTexts(window, kFilesNameControlTexts);
    SetWindowTextUtf8(window, Tr(kBlockCaption));
    SetControlText(window, IDC_FILES_NAME_PROMPT, request->prompt.c_str());
    SetControlText(window, IDC_FILES_NAME_EDIT, request->name.c_str());
    SendDlgItemMessageW(window, IDC_FILES_NAME_EDIT, EM_LIMITTEXT, 12, 0);
    return TRUE;
  }
  if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
    if (LOWORD(wParam) == IDOK) {
      std::string name = GetControlText(window, IDC_FILES_NAME_EDIT);
      uint8_t shortName[11];
      std::string refusal;
      if (!VolumeShortName(name, shortName, &refusal)) {
        FatFilesResult bad;
        bad.error = FatFilesError::kBadName;
        bad.name = name;
        ShowMessage(window, refusal.empty() ? FatFilesMessage(bad).c_str() : refusal.c_str(), Tr(kBlockCaption),
                    MB_ICONERROR);
        return TRUE;
      }
      request->name = StoredName(ShortNameText(shortName));  // shown again as typed text if asked anew
    }
    EndDialog(window, LOWORD(wParam));
    return TRUE;
  }
  return FALSE;
}

bool AskName(const std::string& prompt, std::string* name) {
  NameRequest request{prompt, *name};
  if (DialogBoxParamW(ModuleInstance(), MAKEINTRESOURCEW(IDD_FILES_NAME), gDialog->window, NameProc,
                      reinterpret_cast<LPARAM>(&request)) != IDOK)
    return false;
  *name = request.name;
  return true;
}

// A short name to offer for a long one: its letters and digits, at most 8, and at most 3 of its extension.
std::string SuggestShortName(const std::string& name) {
  size_t dot = name.rfind('.');
  auto keep = [](const std::string& part, size_t most) {
    std::string out;
    for (unsigned char ch : part)
      if (out.size() < most && ch < 0x80 && std::isalnum(ch)) out += static_cast<char>(std::toupper(ch));
    return out;
  };
  std::string base = keep(name.substr(0, dot), 8), ext = dot == std::string::npos ? "" : keep(name.substr(dot + 1), 3);
  if (base.empty()) base = "FILE";
  return ext.empty() ? base : base + "." + ext;
}

// --- Add, extract, delete, new folder ------------------------------------------------------------------------

bool ReadHostFile(const std::wstring& path, FatFileToAdd* file) {
  HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size{};
  bool ok = GetFileSizeEx(handle, &size) && size.QuadPart < 0x7FFFFFFF;
  if (ok) {
    file->data.resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    ok = file->data.empty() || (ReadFile(handle, file->data.data(), static_cast<DWORD>(file->data.size()), &got,
                                         nullptr) &&
                                got == file->data.size());
  }
  FILETIME written, local;
  SYSTEMTIME when;
  if (ok && GetFileTime(handle, nullptr, nullptr, &written) && FileTimeToLocalFileTime(&written, &local) &&
      FileTimeToSystemTime(&local, &when) && when.wYear >= 1980 && when.wYear <= 2107)
    file->modified = SysTime{when.wYear, when.wMonth, when.wDayOfWeek, when.wDay,
                             when.wHour, when.wMinute, when.wSecond, when.wMilliseconds};
  CloseHandle(handle);
  return ok;
}

const FatFileEntry* EntryNamed(const std::string& shortName) {
  for (const FatFileEntry& e : gDialog->entries)
    if (e.name == shortName) return &e;
  return nullptr;
}

void AddHostFiles(const std::vector<std::wstring>& paths) {
  std::vector<FatFileToAdd> files;
  bool replace = false;
  for (const std::wstring& path : paths) {
    size_t slash = path.find_last_of(L"\\/");
    std::string name = WideToUtf8(path.substr(slash == std::wstring::npos ? 0 : slash + 1).c_str());
    FatFileToAdd file;
    if (!ReadHostFile(path, &file)) return Tell(Format(kFilesHostReadFailed, WideToUtf8(path.c_str())));
    uint8_t shortName[11];
    std::string refusal;
    if (!VolumeShortName(name, shortName, &refusal)) {
      std::string typed = SuggestShortName(name);
      if (!AskName(Format(kFilesShortNamePrompt, name), &typed)) return;  // nothing is added
      VolumeShortName(typed, shortName, &refusal);
    }
    file.name = ShortNameText(shortName);  // the OEM bytes the volume keeps
    const FatFileEntry* taken = EntryNamed(file.name);
    if (taken && !taken->directory) {
      if (!Ask(Format(kFilesReplace, StoredName(taken->name)))) continue;
      replace = true;
    }
    files.push_back(std::move(file));
  }
  if (files.empty()) return;
  Change([&](SysHandle disk, uint32_t start) { return AddFatFiles(disk, start, gDialog->folder, files, replace); });
}

std::vector<std::wstring> PickFiles() { return PickHostFiles(gDialog->window, Tr(kFilesAddTitle), nullptr); }

std::wstring PickFolder() { return PickHostFolder(gDialog->window, Tr(kFilesExtractTo)); }

bool WriteHostFile(const std::wstring& path, const std::vector<uint8_t>& data, const FatFileEntry& entry) {
  HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = data.empty() || (WriteFile(handle, data.data(), static_cast<DWORD>(data.size()), &written, nullptr) &&
                             written == data.size());
  FILETIME local, utc;
  if (ok && DosDateTimeToFileTime(entry.date, entry.time, &local) && LocalFileTimeToFileTime(&local, &utc))
    SetFileTime(handle, nullptr, nullptr, &utc);
  return CloseHandle(handle) && ok;
}

void OnExtract() {
  std::vector<size_t> selected;
  for (size_t i : SelectedEntries())
    if (!gDialog->entries[i].directory) selected.push_back(i);
  if (selected.empty()) return Tell(Tr(kFilesSelectFirst), MB_ICONINFORMATION);
  std::wstring folder = PickFolder();
  if (folder.empty()) return;
  BlockFilesPlace place;
  if (!CurrentPlace(&place)) return;
  unsigned extracted = 0;
  for (size_t i : selected) {
    const FatFileEntry& entry = gDialog->entries[i];
    std::vector<uint8_t> data;
    FatFilesResult r = LookAtBlockFiles(
        place, [&](SysHandle disk, uint32_t start) { return ReadFatFile(disk, start, InFolder(entry.name), &data); });
    if (!r.ok()) return Tell(Message(r));
    std::wstring path = folder + L"\\" + Utf8ToWide(StoredName(entry.name).c_str());
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES && !Ask(Format(kFilesHostReplace, entry.name)))
      continue;
    if (!WriteHostFile(path, data, entry)) return Tell(Format(kFilesHostWriteFailed, WideToUtf8(path.c_str())));
    ++extracted;
  }
  char count[16];
  std::snprintf(count, sizeof count, "%u", extracted);
  std::string text = Tr(kFilesExtracted);
  text.replace(text.find("%u"), 2, count);
  text.replace(text.find("%s"), 2, WideToUtf8(folder.c_str()));
  Tell(text, MB_ICONINFORMATION);
}

void OnDelete() {
  std::vector<size_t> selected = SelectedEntries();
  if (selected.empty()) return Tell(Tr(kFilesSelectFirst), MB_ICONINFORMATION);
  std::string names;
  std::vector<std::string> files, folders;
  for (size_t i : selected) {
    const FatFileEntry& e = gDialog->entries[i];
    names += (names.empty() ? "" : ", ") + StoredName(e.name);
    (e.directory ? folders : files).push_back(InFolder(e.name));
  }
  if (ShowMessage(gDialog->window, Format(kFilesConfirmDelete, names).c_str(), Tr(kBlockCaption),
                  MB_OKCANCEL | MB_ICONINFORMATION) != IDOK)
    return;
  Change([&](SysHandle disk, uint32_t start) {
    FatFilesResult r;
    if (!files.empty()) r = DeleteFatFiles(disk, start, files);
    for (size_t i = 0; r.ok() && i < folders.size(); ++i) r = RemoveFatDirectory(disk, start, folders[i]);
    return r;
  });
}

void OnNewFolder() {
  std::string name;
  if (!AskName(Tr(kFilesNewFolderPrompt), &name)) return;
  uint8_t shortName[11];
  std::string refusal;
  VolumeShortName(name, shortName, &refusal);  // AskName gives back only names that pass
  const std::string path = InFolder(ShortNameText(shortName));
  Change([&](SysHandle disk, uint32_t start) { return MakeFatDirectory(disk, start, path); });
}

void OnOpenRow() {
  int row = static_cast<int>(SendMessageW(List(), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
  if (row < 0) return;
  LVITEMW item{};
  item.mask = LVIF_PARAM;
  item.iItem = row;
  SendMessageW(List(), LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
  if (item.lParam < 0) {
    size_t slash = gDialog->folder.rfind('/');
    gDialog->folder = slash == std::string::npos ? "" : gDialog->folder.substr(0, slash);
  } else if (gDialog->entries[static_cast<size_t>(item.lParam)].directory) {
    gDialog->folder = InFolder(gDialog->entries[static_cast<size_t>(item.lParam)].name);
  } else {
    return;
  }
  Refresh();
}

void OnDrop(HDROP drop) { AddHostFiles(TakeDroppedFiles(drop)); }

// --- The dialog ----------------------------------------------------------------------------------------------

void AddColumn(int index, const TextPair& title, int width) {
  std::wstring text = Utf8ToWide(Tr(title));
  LVCOLUMNW column{};
  column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM | LVCF_FMT;
  column.fmt = index == 1 ? LVCFMT_RIGHT : LVCFMT_LEFT;
  column.cx = width;
  column.pszText = &text[0];
  column.iSubItem = index;
  SendMessageW(List(), LVM_INSERTCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column));
}

void FillBlockList() {
  const FilesDialogRequest& r = gDialog->request;
  std::vector<std::string> texts;
  if (r.disk.serviceActive) {
    gDialog->blocks.push_back(r.presentedBlock);
    texts.push_back(std::to_string(r.presentedBlock) + ": " + r.presentedEntry);
  } else {
    BlockList list = ReadBlockList(r.disk.deviceName.c_str(), r.disk.partitionStart, r.disk.partitionLength,
                                   r.kind);
    for (uint32_t n = 0; n < list.validBlockCount && n < list.entries.size(); ++n) {
      gDialog->blocks.push_back(n);
      texts.push_back(std::to_string(n) + ": " + list.entries[n]);
    }
  }
  std::vector<const char*> entries;
  for (const std::string& t : texts) entries.push_back(t.c_str());
  int selected = 0;
  for (size_t i = 0; i < gDialog->blocks.size(); ++i)
    if (gDialog->blocks[i] == r.presentedBlock) selected = static_cast<int>(i);
  FillComboBox(gDialog->window, IDC_FILES_BLOCK, entries.data(), entries.size(), entries.empty() ? -1 : selected);
  EnableWindow(GetDlgItem(gDialog->window, IDC_FILES_BLOCK), !r.disk.serviceActive);
}

void UpdateTitle() {
  int entry = static_cast<int>(SendDlgItemMessageW(gDialog->window, IDC_FILES_BLOCK, CB_GETCURSEL, 0, 0));
  if (entry < 0) return;
  std::string text = GetControlText(gDialog->window, IDC_FILES_BLOCK);
  std::string label = text.substr(text.find(": ") + 2);
  char title[256];
  std::snprintf(title, sizeof title, Tr(kFilesTitle), gDialog->blocks[static_cast<size_t>(entry)], label.c_str());
  SetWindowTextUtf8(gDialog->window, title);
}

void OnInit(HWND window) {
  gDialog->window = window;
  SetEnglishControlTexts(window, kFilesControlTexts);
  SendMessageW(List(), LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT);
  AddColumn(0, kFilesNameColumn, 130);
  AddColumn(1, kFilesSizeColumn, 90);
  AddColumn(2, kFilesDateColumn, 120);
  FillBlockList();
  UpdateTitle();
  Refresh();
}

INT_PTR CALLBACK FilesProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      OnInit(window);
      return TRUE;
    case WM_DROPFILES:
      OnDrop(reinterpret_cast<HDROP>(wParam));
      return TRUE;
    case WM_NOTIFY: {
      const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
      if (header->idFrom == IDC_FILES_LIST && (header->code == NM_DBLCLK || header->code == NM_RETURN)) OnOpenRow();
      return TRUE;
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDC_FILES_BLOCK:
          if (HIWORD(wParam) == CBN_SELCHANGE) {
            gDialog->folder.clear();
            UpdateTitle();
            Refresh();
          }
          break;
        case IDC_FILES_ADD: {
          std::vector<std::wstring> paths = PickFiles();
          if (!paths.empty()) AddHostFiles(paths);
          break;
        }
        case IDC_FILES_EXTRACT:
          OnExtract();
          break;
        case IDC_FILES_DELETE:
          OnDelete();
          break;
        case IDC_FILES_NEW_FOLDER:
          OnNewFolder();
          break;
        case IDCANCEL:
          EndDialog(window, IDCANCEL);
          break;
        default:
          break;
      }
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

void ShowFilesDialog(HWND owner, const FilesDialogRequest& request) {
  INITCOMMONCONTROLSEX classes{sizeof classes, ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&classes);
  FilesDialog dialog;
  dialog.request = request;
  if (!request.disk.serviceActive) {
    BlockList list = ReadBlockList(request.disk.deviceName.c_str(), request.disk.partitionStart,
                                   request.disk.partitionLength, request.kind);
    if (list.validBlockCount == 0) {
      ShowMessage(owner, Tr(kFilesNoBlock), Tr(kBlockCaption), MB_ICONERROR);
      return;
    }
  }
  gDialog = &dialog;
  DialogBoxParamW(ModuleInstance(), MAKEINTRESOURCEW(IDD_FILES), owner, FilesProc, 0);
  gDialog = nullptr;
}

std::vector<std::wstring> PickHostFiles(HWND owner, const char* title, const wchar_t* filter) {
  if (gPickFilesHook) return gPickFilesHook();
  std::vector<wchar_t> buffer(32768, 0);
  std::wstring caption = Utf8ToWide(title);
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = filter;
  ofn.lpstrFile = buffer.data();
  ofn.nMaxFile = static_cast<DWORD>(buffer.size());
  ofn.lpstrTitle = caption.c_str();
  ofn.Flags = OFN_ALLOWMULTISELECT | OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
  if (!GetOpenFileNameW(&ofn)) return {};
  // One file: its full path. Several: the folder, then each name, each ended by a zero, then another zero.
  std::vector<std::wstring> parts;
  for (const wchar_t* p = buffer.data(); *p; p += parts.back().size() + 1) parts.emplace_back(p);
  if (parts.size() == 1) return parts;
  std::vector<std::wstring> paths;
  for (size_t i = 1; i < parts.size(); ++i) paths.push_back(parts[0] + L"\\" + parts[i]);
  return paths;
}

std::wstring PickHostFolder(HWND owner, const char* title) {
  if (gPickFolderHook) return gPickFolderHook();
  std::wstring caption = Utf8ToWide(title);
  BROWSEINFOW info{};
  info.hwndOwner = owner;
  info.lpszTitle = caption.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS;
  LPITEMIDLIST item = SHBrowseForFolderW(&info);
  if (!item) return L"";
  wchar_t path[MAX_PATH] = {};
  bool ok = SHGetPathFromIDListW(item, path);
  CoTaskMemFree(item);
  return ok ? path : L"";
}

std::vector<std::wstring> TakeDroppedFiles(HDROP drop) {
  std::vector<std::wstring> paths;
  const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    std::wstring path(DragQueryFileW(drop, i, nullptr, 0) + 1, L'\0');
    DragQueryFileW(drop, i, &path[0], static_cast<UINT>(path.size()));
    path.resize(path.size() - 1);
    paths.push_back(path);
  }
  DragFinish(drop);
  return paths;
}

void SetFilePickersForTesting(std::function<std::vector<std::wstring>()> pickFiles,
                              std::function<std::wstring()> pickFolder) {
  gPickFilesHook = std::move(pickFiles);
  gPickFolderHook = std::move(pickFolder);
}
