#include "gui_harness.h"

#include <commctrl.h>
#include <objidl.h>  // before gdiplus.h, which needs its PROPID
#include <gdiplus.h>
#include <shellapi.h>  // SHFileOperationW
#include <shlobj.h>  // DROPFILES

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>

#include "pages/run_progress.h"
#include "ui/message.h"
#include "ui/resource_ids.h"
#include "app/gui/program.h"
#include "ui/sheet.h"
#include "ui/wintext.h"
#include "app/simhost/simhost.h"
#include "blocks/blocks.h"
#include "disk/queries.h"
#include "sys/lock.h"
#include "sys/sim/sim.h"

namespace gui {
namespace {

constexpr UINT kRunMessage = WM_APP + 1;        // lParam: const std::function<void()>*, run and return
constexpr UINT kPostedRunMessage = WM_APP + 2;  // lParam: std::function<void()>* to run and delete
constexpr UINT kSyncMessage = WM_APP + 3;       // lParam: event to set

struct Harness {
  HANDLE thread = nullptr;
  DWORD threadId = 0;
  std::atomic<HWND> helper{nullptr};
  std::atomic<int> exitCode{-1};
  SysLock boxMutex;
  std::deque<int> answers;
  std::deque<MessageBoxRecord> boxes;
} h;

// A message-only window on the UI thread: the door through which the test thread runs code there. Its messages
// pass through whatever message loop runs at the moment (the sheet's, or a modal dialog's).
LRESULT CALLBACK HelperProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kRunMessage) (*reinterpret_cast<const std::function<void()>*>(lParam))();
  if (message == kPostedRunMessage)
    (*std::unique_ptr<std::function<void()>>(reinterpret_cast<std::function<void()>*>(lParam)))();
  if (message == kSyncMessage) SetEvent(reinterpret_cast<HANDLE>(lParam));
  return message >= kRunMessage && message <= kSyncMessage ? 0 : DefWindowProcW(window, message, wParam, lParam);
}

DWORD WINAPI UiThread(LPVOID ready) {
  HWND helper = CreateWindowExW(0, L"KorvaneGuiTestHelper", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
  h.helper = helper;
  InstallSimDeviceEvents();  // device events reach the pages through this thread's message loop
  SetEvent(static_cast<HANDLE>(ready));
  h.exitCode = RunProgram(GetModuleHandleW(nullptr));
  h.helper = nullptr;
  DestroyWindow(helper);
  return 0;
}

int RecordMessageBox(HWND owner, const char* text, const char* caption, UINT style) {
  std::lock_guard<SysLock> lock(h.boxMutex);
  MessageBoxRecord box{text ? text : "", caption ? caption : "", style, 0, owner, !h.answers.empty()};
  if (box.scripted) {
    box.answer = h.answers.front();
    h.answers.pop_front();
  } else {  // nobody expected it: the answer that does least
    UINT type = style & MB_TYPEMASK;
    box.answer = type == MB_OK ? IDOK : type == MB_YESNO ? IDNO : type == MB_ABORTRETRYIGNORE ? IDABORT : IDCANCEL;
  }
  h.boxes.push_back(box);
  return box.answer;
}

bool ThreadEnded() { return !h.thread || WaitForSingleObject(h.thread, 0) == WAIT_OBJECT_0; }

LRESULT SendToUi(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  OnUiThread([&] { result = SendMessageW(window, message, wParam, lParam); });
  return result;
}

struct DialogSearch {
  HWND sheet, found;
};

BOOL CALLBACK FindModalDialog(HWND window, LPARAM param) {
  DialogSearch* search = reinterpret_cast<DialogSearch*>(param);
  if (window == search->sheet || !IsWindowVisible(window) || !IsWindowEnabled(window) || ClassName(window) != "#32770")
    return TRUE;
  search->found = window;
  return FALSE;
}

// The topmost visible, enabled dialog of the UI thread other than the sheet.
HWND ModalDialog() {
  DialogSearch search = {Sheet(), nullptr};
  EnumThreadWindows(h.threadId, FindModalDialog, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

struct RealBox {
  std::wstring text, caption;
  UINT style;
};

DWORD WINAPI ShowRealBox(void* box) {
  RealBox* b = static_cast<RealBox*>(box);
  MessageBoxW(nullptr, b->text.c_str(), b->caption.c_str(), b->style);
  return 0;
}

// Closes whatever the program still shows: modal dialogs first (they disable the sheet), then the sheet.
void CloseProgram() {
  for (int i = 0; i < 10 && ProgramRunning(); ++i) {
    HWND dialog = ModalDialog();
    if (dialog)
      PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    else
      PostMessageW(Sheet(), PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    if (WaitForProgramExit(1000) == 0) return;
  }
}

// Writes the window's pixels as the screen shows them into a PNG file (GDI+ encodes it).
bool SavePng(HWND window, const std::wstring& path) {
  static const bool started = [] {
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartupInput input;
    return Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok;
  }();
  static const CLSID kPngEncoder = {0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
  RECT rect;
  if (!started || !GetWindowRect(window, &rect) || rect.right <= rect.left || rect.bottom <= rect.top) return false;
  HDC screen = GetDC(nullptr), memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, rect.right - rect.left, rect.bottom - rect.top);
  HGDIOBJ old = SelectObject(memory, bitmap);
  bool saved = BitBlt(memory, 0, 0, rect.right - rect.left, rect.bottom - rect.top, screen, rect.left, rect.top,
                      SRCCOPY) != FALSE;
  SelectObject(memory, old);
  Gdiplus::GpBitmap* image = nullptr;
  saved = saved && Gdiplus::DllExports::GdipCreateBitmapFromHBITMAP(bitmap, nullptr, &image) == Gdiplus::Ok;
  saved = saved && Gdiplus::DllExports::GdipSaveImageToFile(image, path.c_str(), &kPngEncoder, nullptr) == Gdiplus::Ok;
  if (image) Gdiplus::DllExports::GdipDisposeImage(image);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return saved;
}

}  // namespace

// --- The program -------------------------------------------------------------------------------------------------

bool StartProgram(DWORD timeoutMs) {
  if (ProgramRunning()) {
    ADD_FAILURE() << "the program is already running";
    return false;
  }
  if (h.thread) CloseHandle(h.thread);
  WNDCLASSW windowClass = WNDCLASSW();
  windowClass.lpfnWndProc = HelperProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"KorvaneGuiTestHelper";
  RegisterClassW(&windowClass);  // fails harmlessly once the class is registered
  SetMessageBoxHookForTesting(RecordMessageBox);
  SetSheetWindow(nullptr);
  h.exitCode = -1;
  HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  h.thread = CreateThread(nullptr, 0, UiThread, ready, 0, &h.threadId);
  if (h.thread) WaitForSingleObject(ready, INFINITE);  // set before anything that could fail
  CloseHandle(ready);
  if (!h.thread) ADD_FAILURE() << "cannot create the UI thread";
  bool shown = h.thread && WaitFor([] { return SheetWindow() && IsWindowVisible(SheetWindow()); }, timeoutMs);
  if (shown) Settle();
  return shown;
}

int WaitForProgramExit(DWORD timeoutMs) {
  if (h.thread && WaitForSingleObject(h.thread, timeoutMs) != WAIT_OBJECT_0) return -1;
  return h.exitCode;
}

bool ProgramRunning() { return !ThreadEnded(); }

Language ExpectedLanguage() {
  const char* lang = std::getenv("LANG");
  return lang && std::strncmp(lang, "zh_CN", 5) == 0 ? Language::Chinese : Language::English;
}
std::string Expected(const TextPair& text) { return ExpectedLanguage() == Language::Chinese ? text.zh : text.en; }

void ExpectBox(const MessageBoxRecord& box, const std::string& text, const std::string& caption, UINT style) {
  EXPECT_EQ(box.text, text);
  EXPECT_EQ(box.caption, caption) << box.text;
  EXPECT_EQ(box.style, style) << box.text;
}

HWND OpenPage(int tab) {
  if (!StartProgram()) return nullptr;
  SwitchTab(tab);
  return CurrentPage();
}

// --- Running code on the UI thread, waiting --------------------------------------------------------------------

void OnUiThread(const std::function<void()>& action) {
  DWORD_PTR result = 0;
  if (!h.helper || ThreadEnded())
    ADD_FAILURE() << "the program is not running";
  else if (!SendMessageTimeoutW(h.helper, kRunMessage, 0, reinterpret_cast<LPARAM>(&action), SMTO_NORMAL, kTimeoutMs,
                                &result))
    ADD_FAILURE() << "the UI thread did not answer";
}

void Post(const std::function<void()>& action) {
  if (!h.helper || ThreadEnded()) {
    ADD_FAILURE() << "the program is not running";
    return;
  }
  auto* copy = new std::function<void()>(action);
  if (!PostMessageW(h.helper, kPostedRunMessage, 0, reinterpret_cast<LPARAM>(copy))) delete copy;
  Settle();
}

bool Settle(DWORD timeoutMs) {
  if (!h.helper || ThreadEnded()) return true;
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!PostMessageW(h.helper, kSyncMessage, 0, reinterpret_cast<LPARAM>(done))) {
    CloseHandle(done);
    return ThreadEnded();
  }
  HANDLE waits[2] = {done, h.thread};
  DWORD result = WaitForMultipleObjects(2, waits, FALSE, timeoutMs);
  // A program that ended before handling the marker leaves it unhandled: keep the event alive for it.
  if (result == WAIT_OBJECT_0) CloseHandle(done);
  if (result == WAIT_OBJECT_0 || result == WAIT_OBJECT_0 + 1) return true;
  ADD_FAILURE() << "the UI thread is stuck";
  return false;
}

bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs) {
  for (DWORD start = GetTickCount(); !condition(); Sleep(20))
    if (GetTickCount() - start >= timeoutMs) return false;
  return true;
}

// --- The sheet ---------------------------------------------------------------------------------------------------

HWND Sheet() { return SheetWindow(); }
HWND TabControl() { return reinterpret_cast<HWND>(SendToUi(Sheet(), PSM_GETTABCONTROL, 0, 0)); }
int TabCount() { return static_cast<int>(SendToUi(TabControl(), TCM_GETITEMCOUNT, 0, 0)); }

std::string TabTitle(int index) {
  wchar_t buffer[256] = {0};
  TCITEMW item = TCITEMW();
  item.mask = TCIF_TEXT;
  item.pszText = buffer;
  item.cchTextMax = 255;
  SendToUi(TabControl(), TCM_GETITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
  return WideToUtf8(buffer);
}

void SwitchTab(int index) {
  HWND tab = TabControl();
  if (!IsReachable(tab)) {
    ADD_FAILURE() << "the tabs cannot be clicked now";
    return;
  }
  // A click on the tab's middle: the tab control asks the sheet first (TCN_SELCHANGING), and a page may refuse.
  RECT item = RECT();
  SendToUi(tab, TCM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
  const LPARAM at = MAKELPARAM((item.left + item.right) / 2, (item.top + item.bottom) / 2);
  PostMessageW(tab, WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageW(tab, WM_LBUTTONUP, 0, at);
  Settle();
}

int CurrentTab() { return static_cast<int>(SendToUi(TabControl(), TCM_GETCURSEL, 0, 0)); }
HWND CurrentPage() { return reinterpret_cast<HWND>(SendToUi(Sheet(), PSM_GETCURRENTPAGEHWND, 0, 0)); }
void PressSheetButton(int id) { ClickButton(Sheet(), id); }

void PressCloseBox(HWND window) {
  PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
  Settle();
}

// --- Controls ----------------------------------------------------------------------------------------------------

HWND Control(HWND dialog, int id) {
  HWND control = GetDlgItem(dialog, id);
  if (!control) ADD_FAILURE() << "no control " << id;
  return control;
}

std::string Text(HWND window) {
  std::string text;
  OnUiThread([&] { text = GetWindowTextUtf8(window); });
  return text;
}
std::string Text(HWND dialog, int id) { return Text(Control(dialog, id)); }

std::string ClassName(HWND window) {
  wchar_t name[64] = {0};
  GetClassNameW(window, name, 63);
  return WideToUtf8(name);
}

LONG_PTR Style(HWND window) { return GetWindowLongPtrW(window, GWL_STYLE); }
bool IsChecked(HWND dialog, int id) { return SendToUi(Control(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
bool IsEnabled(HWND dialog, int id) { return IsWindowEnabled(Control(dialog, id)) != FALSE; }
bool IsVisible(HWND dialog, int id) { return IsWindowVisible(Control(dialog, id)) != FALSE; }

bool IsReachable(HWND window) {
  for (HWND w = window; w && w != GetDesktopWindow(); w = GetAncestor(w, GA_PARENT))
    if (!IsWindowVisible(w) || !IsWindowEnabled(w)) return false;
  return window != nullptr;
}

namespace {

// The control a user could act on (`what`: "click", "pick from", "type into"), or nullptr after a failure.
HWND Usable(HWND dialog, int id, const char* what) {
  HWND control = Control(dialog, id);
  if (control && ClassName(control) == "ComboBox" && std::strcmp(what, "type into") == 0)
    control = FindWindowExW(control, nullptr, L"Edit", nullptr);
  if (!control || IsReachable(control)) return control;
  ADD_FAILURE() << "control " << id << " is hidden or disabled: a user cannot " << what << " it";
  return nullptr;
}

void SelectEntry(HWND dialog, int id, int index, UINT countMessage, UINT selectMessage, WORD notification) {
  HWND control = Usable(dialog, id, "pick from");
  if (!control) return;
  int count = static_cast<int>(SendToUi(control, countMessage, 0, 0));
  if (index < 0 || index >= count) {
    ADD_FAILURE() << "control " << id << " has " << count << " entries, no entry " << index;
    return;
  }
  Post([=] {
    SetFocus(control);
    SendMessageW(control, selectMessage, static_cast<WPARAM>(index), 0);
    SendMessageW(GetParent(control), WM_COMMAND, MAKEWPARAM(id, notification), reinterpret_cast<LPARAM>(control));
  });
}

std::vector<std::string> Entries(HWND control, UINT countMessage, UINT lengthMessage, UINT textMessage) {
  std::vector<std::string> entries;
  OnUiThread([&] {
    int count = static_cast<int>(SendMessageW(control, countMessage, 0, 0));
    for (int i = 0; i < count; ++i) {
      int length = static_cast<int>(SendMessageW(control, lengthMessage, static_cast<WPARAM>(i), 0));
      std::vector<wchar_t> text(static_cast<size_t>(length > 0 ? length : 0) + 1, L'\0');
      SendMessageW(control, textMessage, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text.data()));
      entries.push_back(WideToUtf8(text.data()));
    }
  });
  return entries;
}

// Posts the key's down and up messages to the focus window; `dialogMessage`: the down goes to the sheet's
// PSM_ISDIALOGMESSAGE first when the focus is in the sheet.
void PostKey(int virtualKey, bool dialogMessage) {
  Post([=] {
    HWND focus = GetFocus();
    MSG down = MSG();
    down.hwnd = focus;
    down.message = WM_KEYDOWN;
    down.wParam = WPARAM(virtualKey);
    down.lParam = (LPARAM(MapVirtualKeyW(UINT(virtualKey), 0)) << 16) | 1;
    const bool taken = dialogMessage && IsChild(Sheet(), focus) &&
                       SendMessageW(Sheet(), PSM_ISDIALOGMESSAGE, 0, reinterpret_cast<LPARAM>(&down));
    if (!taken) PostMessageW(focus, WM_KEYDOWN, down.wParam, down.lParam);
    PostMessageW(focus, WM_KEYUP, down.wParam, down.lParam | (LPARAM(3) << 30));
  });
}

void HoldKeys(const std::vector<int>& keys, bool down) {
  Post([=] {
    BYTE state[256];
    GetKeyboardState(state);
    for (int key : keys) state[key] = down ? state[key] | 0x80 : state[key] & 0x7F;
    SetKeyboardState(state);
  });
}

}  // namespace

void ClickButton(HWND dialog, int id) {
  if (HWND button = Usable(dialog, id, "click")) {
    PostMessageW(button, BM_CLICK, 0, 0);
    Settle();
  }
}

void Tick(HWND dialog, int id, bool checked) {
  if (IsChecked(dialog, id) != checked) ClickButton(dialog, id);
}

void SelectListEntry(HWND dialog, int id, int index) {
  SelectEntry(dialog, id, index, LB_GETCOUNT, LB_SETCURSEL, LBN_SELCHANGE);
}
void SelectComboEntry(HWND dialog, int id, int index) {
  SelectEntry(dialog, id, index, CB_GETCOUNT, CB_SETCURSEL, CBN_SELCHANGE);
}
std::vector<std::string> ListEntries(HWND dialog, int id) {
  return Entries(Control(dialog, id), LB_GETCOUNT, LB_GETTEXTLEN, LB_GETTEXT);
}
int ListSelection(HWND dialog, int id) { return static_cast<int>(SendToUi(Control(dialog, id), LB_GETCURSEL, 0, 0)); }
std::vector<std::string> ComboEntries(HWND dialog, int id) {
  return Entries(Control(dialog, id), CB_GETCOUNT, CB_GETLBTEXTLEN, CB_GETLBTEXT);
}
int ComboSelection(HWND dialog, int id) { return static_cast<int>(SendToUi(Control(dialog, id), CB_GETCURSEL, 0, 0)); }

std::string QuestionNamingSelectedDisk(const TextPair& question, HWND dialog, int listId) {
  std::vector<std::string> lines = ListEntries(dialog, listId);
  int selected = ListSelection(dialog, listId);
  if (selected < 0 || selected >= static_cast<int>(lines.size())) return "(no disk selected)";
  const char* label = ExpectedLanguage() == Language::Chinese ? "磁盘：" : "Disk: ";
  return Expected(question) + "\r\n" + label + lines[static_cast<size_t>(selected)];
}

void TypeText(HWND dialog, int id, const std::string& utf8) {
  HWND edit = Usable(dialog, id, "type into");
  std::wstring wide = Utf8ToWide(utf8.c_str());
  if (edit) Post([=] {
      SetFocus(edit);
      SendMessageW(edit, EM_SETSEL, 0, -1);
      for (wchar_t c : wide) SendMessageW(edit, WM_CHAR, c, 1);
    });
}

void SetEditText(HWND dialog, int id, const std::string& utf8) {
  HWND control = Control(dialog, id);
  OnUiThread([&] { SetWindowTextUtf8(control, utf8.c_str()); });
}

void PressKey(int virtualKey) {
  PostKey(virtualKey, false);
  Settle();  // the key messages were posted behind the first marker
}

// Windows' modal sheet hands every message of its loop to PSM_ISDIALOGMESSAGE first, which is where its page
// shortcuts live; Wine's modal loop (8.0) calls IsDialogMessage only. Keys typed into the sheet go the Windows way
// here; those typed into a modal dialog reach that dialog's own loop, as on Windows.
void PressKeyWith(const std::vector<int>& modifiers, int virtualKey) {
  HWND focus = nullptr;
  OnUiThread([&] { focus = GetFocus(); });
  if (!IsReachable(focus)) {
    ADD_FAILURE() << "no window that a user could type into has the focus";
    return;
  }
  HoldKeys(modifiers, true);
  PostKey(virtualKey, true);
  HoldKeys(modifiers, false);
}

// --- Dialogs and message boxes -------------------------------------------------------------------------------

HWND WaitForDialog(DWORD timeoutMs) {
  HWND found = nullptr;
  if (!WaitFor([&] { return (found = ModalDialog()) != nullptr; }, timeoutMs)) ADD_FAILURE() << "no dialog came up";
  return found;
}

bool WaitForWindowGone(HWND window, DWORD timeoutMs) {
  return WaitFor([&] { return !IsWindow(window) || !IsWindowVisible(window); }, timeoutMs);
}

std::string AnswerNameDialog(HWND dialog, const char* name, const char* screenshot) {
  HWND ask = WaitForDialog();
  if (!ask || ask == dialog) {
    ADD_FAILURE() << "no name dialog came up";
    return "";
  }
  const std::string offered = Text(ask, IDC_FILES_NAME_EDIT);
  if (screenshot) Screenshot(ask, screenshot);
  if (name) TypeText(ask, IDC_FILES_NAME_EDIT, name);
  ClickButton(ask, name ? IDOK : IDCANCEL);
  EXPECT_TRUE(WaitForWindowGone(ask)) << "the name dialog stays";
  Settle();
  return offered;
}

void DropFiles(HWND window, const std::vector<std::wstring>& paths) {
  std::wstring list;  // each path ended by a zero, the list by a second one
  for (const std::wstring& p : paths) list += p + L'\0';
  list += L'\0';
  HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + list.size() * sizeof(wchar_t));
  auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
  drop->pFiles = sizeof(DROPFILES);
  drop->fWide = TRUE;
  std::memcpy(drop + 1, list.data(), list.size() * sizeof(wchar_t));
  GlobalUnlock(memory);
  PostMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
  Settle();
}

void AnswerMessageBoxes(std::initializer_list<int> answers) {
  std::lock_guard<SysLock> lock(h.boxMutex);
  h.answers.insert(h.answers.end(), answers.begin(), answers.end());
}

MessageBoxRecord WaitForMessageBox(DWORD timeoutMs) {
  MessageBoxRecord box;
  if (!WaitFor([&] {
        std::lock_guard<SysLock> lock(h.boxMutex);
        if (h.boxes.empty()) return false;
        box = h.boxes.front();
        h.boxes.pop_front();
        return true;
      }, timeoutMs))
    ADD_FAILURE() << "no message box came up";
  return box;
}

std::vector<MessageBoxRecord> TakeMessageBoxes() {
  std::lock_guard<SysLock> lock(h.boxMutex);
  std::vector<MessageBoxRecord> boxes(h.boxes.begin(), h.boxes.end());
  h.boxes.clear();
  return boxes;
}

// --- Screenshots -------------------------------------------------------------------------------------------------

bool Screenshot(HWND window, const std::string& name) {
  OnUiThread([&] {
    SetForegroundWindow(window);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  });
  Sleep(400);  // Wine hands the painted pixels to the X server a moment later
  const char* dir = std::getenv("KORVANE_SCREENSHOT_DIR");
  std::string folder = WindowsPath(dir && *dir ? dir : "screenshots");
  CreateDirectoryA(folder.c_str(), nullptr);
  const char* tag = ExpectedLanguage() == Language::Chinese ? "-zh.png" : "-en.png";
  return SavePng(window, Utf8ToWide((folder + "\\" + name + tag).c_str()));
}

bool ScreenshotMessageBox(const MessageBoxRecord& record, const std::string& name) {
  RealBox box{Utf8ToWide(record.text.c_str()), Utf8ToWide(record.caption.c_str()), record.style};
  HANDLE thread = CreateThread(nullptr, 0, ShowRealBox, &box, 0, nullptr);
  if (!thread) return false;
  HWND window = nullptr;
  // The box's thread may be slow to start on a loaded machine: wait as long as for any other action.
  for (DWORD waited = 0; waited < kTimeoutMs && !window; waited += 50, Sleep(50))
    window = FindWindowW(L"#32770", box.caption.c_str());
  bool written = window && Screenshot(window, name);
  if (window) PostMessageW(window, WM_COMMAND, IDOK, 0);
  if (WaitForSingleObject(thread, kTimeoutMs) != WAIT_OBJECT_0) written = false;
  CloseHandle(thread);
  return written;
}

// --- Paths and disks ---------------------------------------------------------------------------------------------

std::string WindowsPath(const std::string& hostPath) {
  if (hostPath.empty() || hostPath[0] != '/') return hostPath;
  std::string path = "Z:" + hostPath;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

std::wstring WriteHostFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::wstring wide = Utf8ToWide(path.c_str());
  HANDLE file = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  if (file == INVALID_HANDLE_VALUE || !WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr) ||
      written != bytes.size())
    ADD_FAILURE() << "cannot write " << path;
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return wide;
}

std::vector<uint8_t> ReadHostFile(const std::string& path) {
  HANDLE file = CreateFileW(Utf8ToWide(path.c_str()).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  std::vector<uint8_t> bytes(GetFileSize(file, nullptr));
  DWORD got = 0;
  if (!ReadFile(file, bytes.data(), DWORD(bytes.size()), &got, nullptr)) got = 0;
  CloseHandle(file);
  bytes.resize(got);
  return bytes;
}

RemovableDisk ListedDisk(int entry) {
  DiskTable table;
  DiscoverDisks(&table);
  return table.slots[entry];
}

bool AddStickThatWrapsAtHalf() {
  SimDiskSpec liar = SimStick(2, 'F', 16 * 2048);
  liar.realSectors = 8 * 2048;
  return SimAddDisk(liar);
}

std::string BlockLabel(int disk, uint32_t block) {
  std::vector<uint8_t> root = SimReadRaw(disk, uint64_t{block} * kBlock144 + kRootSector144, 1);
  std::string name(reinterpret_cast<const char*>(root.data()), 11);
  return name.substr(0, name.find('\0'));
}

void WaitForEnhancedRunEnd(HWND page) {
  EXPECT_TRUE(WaitFor([&] {
    return IsEnabled(page, IDC_ENH_BATCH_FORMAT) && IsReachable(TabControl()) &&
           Text(page, IDC_ENH_BATCH_FORMAT) != Expected(kRunStopButton);
  }));
  Settle();
}

ScratchFolder::ScratchFolder(const char* name, bool withDriver) {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  dir = std::string(temp) + name + "-" + std::to_string(GetCurrentProcessId()) + "-" +
        std::to_string(GetTickCount());
  for (const char* sub : {"", "\\windows", "\\windows\\system32", "\\windows\\system32\\drivers"})
    CreateDirectoryA((dir + sub).c_str(), nullptr);
  if (withDriver) PutDriver();
  SimSetCurrentDirectory(dir);
  SimSetWindowsDirectory(dir + "\\windows");
}

void ScratchFolder::PutDriver() const { WriteHostFile(dir + "\\Dunmarle.sys", "MZ"); }

ScratchFolder::~ScratchFolder() {
  std::wstring from = Utf8ToWide(dir.c_str()) + L'\0';  // a list of one path, ended by a second zero
  SHFILEOPSTRUCTW operation = SHFILEOPSTRUCTW();
  operation.wFunc = FO_DELETE;
  operation.pFrom = from.c_str();
  operation.fFlags = FOF_NO_UI;
  SHFileOperationW(&operation);
}

}  // namespace gui

// --- Fixture -----------------------------------------------------------------------------------------------------

void GuiTest::SetUp() {
  SimReset();
  SimSetOemCodePage(GetOEMCP());  // the system's, as Windows would: 936 under zh_CN
  SimDiskSpec system = SimStick(0, 'C', 16384, kSimBusAta);
  system.hasVendor = false;
  system.product = "SIM SYSTEM DISK";
  ASSERT_TRUE(SimAddDisk(system));
  ASSERT_TRUE(SimAddDisk(SimStick(1, 'E', 64 * 2048)));
}

void GuiTest::TearDown() {
  using namespace gui;
  if (ProgramRunning()) CloseProgram();
  EXPECT_FALSE(ProgramRunning()) << "the program did not close";
  {
    std::lock_guard<SysLock> lock(h.boxMutex);
    for (const MessageBoxRecord& box : h.boxes)
      ADD_FAILURE() << "message box nobody looked at: \"" << box.text << "\" (" << box.caption << ")";
    if (!h.answers.empty()) ADD_FAILURE() << h.answers.size() << " scripted message box answers were not used";
    h.boxes.clear();
    h.answers.clear();
  }
  SetMessageBoxHookForTesting(nullptr);
  EXPECT_EQ(SimOpenHandleCount(), 0) << "a handle was left open";
}

void AttachFilterPresenting(int number, uint32_t block) {
  static const char kList[] = "Dunmarle\0";
  SimSetUpperFilters(number, kRegMultiSz, std::vector<uint8_t>(kList, kList + sizeof kList));
  SimAttachFilter(number, true);
  BlockDisk disk;
  disk.deviceName = "physicaldrive" + std::to_string(number);
  disk.partitionLength = 64 * 2048;
  disk.serviceActive = true;
  ASSERT_EQ(ConfigureBlocks(&disk, kBlockModeInUse, FloppyKind::k1440K), 1);
  ASSERT_EQ(SelectBlock(disk.deviceName.c_str(), block), 1);
}
