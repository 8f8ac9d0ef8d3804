#include "gui_harness.h"

#include <commctrl.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>

#include "ui/message.h"
#include "app/gui/program.h"
#include "ui/sheet.h"
#include "ui/wintext.h"
#include "app/simhost/simhost.h"
#include "sys/lock.h"
#include "sys/sim/sim.h"

namespace gui {
namespace {

constexpr UINT kRunMessage = WM_APP + 1;        // lParam: const std::function<void()>*, run and return
constexpr UINT kPostedRunMessage = WM_APP + 2;  // lParam: std::function<void()>* to run and delete
constexpr UINT kSyncMessage = WM_APP + 3;       // lParam: event to set
const wchar_t kHelperClass[] = L"KorvaneGuiTestHelper";

struct Harness {
  HANDLE thread = nullptr;
  DWORD threadId = 0;
  std::atomic<HWND> helper{nullptr};
  std::atomic<int> exitCode{-1};
  SysLock boxMutex;
  std::deque<int> answers;
  std::deque<MessageBoxRecord> boxes;
};

Harness& TheHarness() {
  static Harness harness;
  return harness;
}

// A message-only window on the UI thread: the door through which the test thread runs code there. Its messages
// pass through whatever message loop runs at the moment (the sheet's, or a modal dialog's).
LRESULT CALLBACK HelperProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case kRunMessage:
      (*reinterpret_cast<const std::function<void()>*>(lParam))();
      return 0;
    case kPostedRunMessage: {
      std::unique_ptr<std::function<void()>> action(reinterpret_cast<std::function<void()>*>(lParam));
      (*action)();
      return 0;
    }
    case kSyncMessage:
      SetEvent(reinterpret_cast<HANDLE>(lParam));
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

void RegisterHelperClass() {
  static const bool registered = [] {
    WNDCLASSW windowClass = WNDCLASSW();
    windowClass.lpfnWndProc = HelperProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kHelperClass;
    return RegisterClassW(&windowClass) != 0;
  }();
  (void)registered;
}

DWORD WINAPI UiThread(LPVOID ready) {
  HWND helper = CreateWindowExW(0, kHelperClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
  TheHarness().helper = helper;
  InstallSimDeviceEvents();  // device events reach the pages through this thread's message loop
  SetEvent(static_cast<HANDLE>(ready));
  TheHarness().exitCode = RunProgram(GetModuleHandleW(nullptr));
  TheHarness().helper = nullptr;
  DestroyWindow(helper);
  return 0;
}

int UnscriptedAnswer(UINT style) {
  switch (style & MB_TYPEMASK) {
    case MB_OK:
      return IDOK;
    case MB_YESNO:
      return IDNO;
    case MB_ABORTRETRYIGNORE:
      return IDABORT;
    default:
      return IDCANCEL;
  }
}

int RecordMessageBox(HWND owner, const char* text, const char* caption, UINT style) {
  Harness& h = TheHarness();
  std::lock_guard<SysLock> lock(h.boxMutex);
  MessageBoxRecord box;
  box.text = text ? text : "";
  box.caption = caption ? caption : "";
  box.style = style;
  box.owner = owner;
  box.scripted = !h.answers.empty();
  if (box.scripted) {
    box.answer = h.answers.front();
    h.answers.pop_front();
  } else {
    box.answer = UnscriptedAnswer(style);
  }
  h.boxes.push_back(box);
  return box.answer;
}

bool ThreadEnded() {
  HANDLE thread = TheHarness().thread;
  return !thread || WaitForSingleObject(thread, 0) == WAIT_OBJECT_0;
}

LRESULT SendToUi(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  OnUiThread([&] { result = SendMessageW(window, message, wParam, lParam); });
  return result;
}

struct DialogSearch {
  HWND sheet;
  HWND found;
};

BOOL CALLBACK FindModalDialog(HWND window, LPARAM param) {
  DialogSearch* search = reinterpret_cast<DialogSearch*>(param);
  if (window == search->sheet || !IsWindowVisible(window) || !IsWindowEnabled(window)) return TRUE;
  if (ClassName(window) != "#32770") return TRUE;
  search->found = window;
  return FALSE;
}

// Closes whatever the program still shows: modal dialogs first (they disable the sheet), then the sheet.
void CloseProgram() {
  for (int i = 0; i < 10 && ProgramRunning(); ++i) {
    DialogSearch search = {Sheet(), nullptr};
    EnumThreadWindows(TheHarness().threadId, FindModalDialog, reinterpret_cast<LPARAM>(&search));
    if (search.found)
      PostMessageW(search.found, WM_COMMAND, IDCANCEL, 0);
    else
      PostMessageW(Sheet(), PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    if (WaitForProgramExit(1000) == 0) return;
  }
}

// --- PNG, written by hand: stored (uncompressed) deflate blocks need no library. ---

uint32_t Crc32(const std::string& data) {
  static uint32_t table[256];
  static const bool filled = [] {
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      table[n] = c;
    }
    return true;
  }();
  (void)filled;
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char b : data) crc = table[(crc ^ b) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

void PutBe32(std::string* out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out->push_back(static_cast<char>((value >> shift) & 0xFF));
}

void PutChunk(std::string* png, const char* type, const std::string& data) {
  PutBe32(png, static_cast<uint32_t>(data.size()));
  std::string typed = std::string(type) + data;
  *png += typed;
  PutBe32(png, Crc32(typed));
}

std::string ZlibStored(const std::string& raw) {
  std::string out("\x78\x01", 2);
  size_t offset = 0;
  do {
    size_t length = raw.size() - offset < 65535 ? raw.size() - offset : 65535;
    bool last = offset + length == raw.size();
    out.push_back(last ? 1 : 0);
    out.push_back(static_cast<char>(length & 0xFF));
    out.push_back(static_cast<char>(length >> 8));
    out.push_back(static_cast<char>(~length & 0xFF));
    out.push_back(static_cast<char>((~length >> 8) & 0xFF));
    out.append(raw, offset, length);
    offset += length;
  } while (offset < raw.size());
  uint32_t a = 1, b = 0;
  for (unsigned char c : raw) {
    a = (a + c) % 65521;
    b = (b + a) % 65521;
  }
  PutBe32(&out, (b << 16) | a);
  return out;
}

// rgb: height rows of width * 3 bytes, top row first.
std::string EncodePng(int width, int height, const std::vector<uint8_t>& rgb) {
  std::string header;
  PutBe32(&header, static_cast<uint32_t>(width));
  PutBe32(&header, static_cast<uint32_t>(height));
  header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, deflate, no filter, no interlace
  std::string raw;
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);
    raw.append(reinterpret_cast<const char*>(rgb.data()) + static_cast<size_t>(y) * width * 3,
               static_cast<size_t>(width) * 3);
  }
  std::string png("\x89PNG\r\n\x1a\n", 8);
  PutChunk(&png, "IHDR", header);
  PutChunk(&png, "IDAT", ZlibStored(raw));
  PutChunk(&png, "IEND", std::string());
  return png;
}

// The window's pixels as the screen shows them, top row first, RGB.
bool CaptureWindow(HWND window, int* width, int* height, std::vector<uint8_t>* rgb) {
  RECT rect;
  if (!GetWindowRect(window, &rect)) return false;
  *width = rect.right - rect.left;
  *height = rect.bottom - rect.top;
  if (*width <= 0 || *height <= 0) return false;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, *width, *height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BOOL copied = BitBlt(memory, 0, 0, *width, *height, screen, rect.left, rect.top, SRCCOPY);
  SelectObject(memory, old);
  BITMAPINFO info = BITMAPINFO();
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = *width;
  info.bmiHeader.biHeight = -*height;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  size_t stride = (static_cast<size_t>(*width) * 3 + 3) & ~static_cast<size_t>(3);
  std::vector<uint8_t> bgr(stride * static_cast<size_t>(*height));
  int lines = GetDIBits(memory, bitmap, 0, static_cast<UINT>(*height), bgr.data(), &info, DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  if (!copied || lines != *height) return false;
  rgb->resize(static_cast<size_t>(*width) * 3 * static_cast<size_t>(*height));
  for (int y = 0; y < *height; ++y)
    for (int x = 0; x < *width; ++x)
      for (int c = 0; c < 3; ++c)
        (*rgb)[(static_cast<size_t>(y) * *width + x) * 3 + c] = bgr[static_cast<size_t>(y) * stride + x * 3 + 2 - c];
  return true;
}

std::string ScreenshotDirectory() {
  const char* dir = std::getenv("KORVANE_SCREENSHOT_DIR");
  return WindowsPath(dir && *dir ? dir : "screenshots");
}

}  // namespace

// --- The program -------------------------------------------------------------------------------------------------

bool StartProgram(DWORD timeoutMs) {
  Harness& h = TheHarness();
  if (ProgramRunning()) {
    ADD_FAILURE() << "the program is already running";
    return false;
  }
  if (h.thread) CloseHandle(h.thread);
  RegisterHelperClass();
  SetMessageBoxHookForTesting(RecordMessageBox);
  SetSheetWindow(nullptr);
  h.exitCode = -1;
  HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  h.thread = CreateThread(nullptr, 0, UiThread, ready, 0, &h.threadId);
  if (!h.thread) {
    CloseHandle(ready);
    ADD_FAILURE() << "cannot create the UI thread";
    return false;
  }
  WaitForSingleObject(ready, INFINITE);  // set before anything that could fail
  CloseHandle(ready);
  bool shown = WaitFor([] { return SheetWindow() && IsWindowVisible(SheetWindow()); }, timeoutMs);
  if (shown) Settle();
  return shown;
}

int WaitForProgramExit(DWORD timeoutMs) {
  HANDLE thread = TheHarness().thread;
  if (thread && WaitForSingleObject(thread, timeoutMs) != WAIT_OBJECT_0) return -1;
  return TheHarness().exitCode;
}

bool ProgramRunning() { return !ThreadEnded(); }
DWORD UiThreadId() { return TheHarness().threadId; }

Language ExpectedLanguage() {
  const char* lang = std::getenv("LANG");
  return lang && std::strncmp(lang, "zh_CN", 5) == 0 ? Language::Chinese : Language::English;
}

const char* LanguageTag() { return ExpectedLanguage() == Language::Chinese ? "zh" : "en"; }

std::string Expected(const TextPair& text) { return ExpectedLanguage() == Language::Chinese ? text.zh : text.en; }

// --- Running code on the UI thread, waiting --------------------------------------------------------------------

void OnUiThread(const std::function<void()>& action) {
  HWND helper = TheHarness().helper;
  if (!helper || ThreadEnded()) {
    ADD_FAILURE() << "the program is not running";
    return;
  }
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(helper, kRunMessage, 0, reinterpret_cast<LPARAM>(&action), SMTO_NORMAL, kTimeoutMs,
                           &result))
    ADD_FAILURE() << "the UI thread did not answer";
}

void Post(const std::function<void()>& action) {
  HWND helper = TheHarness().helper;
  if (!helper || ThreadEnded()) {
    ADD_FAILURE() << "the program is not running";
    return;
  }
  auto* copy = new std::function<void()>(action);
  if (!PostMessageW(helper, kPostedRunMessage, 0, reinterpret_cast<LPARAM>(copy))) delete copy;
  Settle();
}

bool Settle(DWORD timeoutMs) {
  HWND helper = TheHarness().helper;
  if (!helper || ThreadEnded()) return true;
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!PostMessageW(helper, kSyncMessage, 0, reinterpret_cast<LPARAM>(done))) {
    CloseHandle(done);
    return ThreadEnded();
  }
  HANDLE waits[2] = {done, TheHarness().thread};
  DWORD result = WaitForMultipleObjects(2, waits, FALSE, timeoutMs);
  if (result == WAIT_OBJECT_0 || result == WAIT_OBJECT_0 + 1) {
    // A program that ended before handling the marker leaves it unhandled: keep the event alive for it.
    if (result == WAIT_OBJECT_0) CloseHandle(done);
    return true;
  }
  ADD_FAILURE() << "the UI thread is stuck";
  return false;
}

bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    if (condition()) return true;
    if (GetTickCount() - start >= timeoutMs) return false;
    Sleep(20);
  }
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

HWND Page(int index) {
  return reinterpret_cast<HWND>(SendToUi(Sheet(), PSM_INDEXTOHWND, static_cast<WPARAM>(index), 0));
}

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

bool IsChecked(HWND dialog, int id) {
  return SendToUi(Control(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool IsEnabled(HWND dialog, int id) { return IsWindowEnabled(Control(dialog, id)) != FALSE; }
bool IsVisible(HWND dialog, int id) { return IsWindowVisible(Control(dialog, id)) != FALSE; }

bool IsReachable(HWND window) {
  if (!window) return false;
  for (HWND w = window; w && w != GetDesktopWindow(); w = GetAncestor(w, GA_PARENT))
    if (!IsWindowVisible(w) || !IsWindowEnabled(w)) return false;
  return true;
}

void ClickButton(HWND dialog, int id) {
  HWND button = Control(dialog, id);
  if (!button) return;
  if (!IsReachable(button)) {
    ADD_FAILURE() << "control " << id << " is hidden or disabled: a user cannot click it";
    return;
  }
  PostMessageW(button, BM_CLICK, 0, 0);
  Settle();
}

void Tick(HWND dialog, int id, bool checked) {
  if (IsChecked(dialog, id) != checked) ClickButton(dialog, id);
}

namespace {

void SelectEntry(HWND dialog, int id, int index, UINT countMessage, UINT selectMessage, WORD notification) {
  HWND control = Control(dialog, id);
  if (!control) return;
  if (!IsReachable(control)) {
    ADD_FAILURE() << "control " << id << " is hidden or disabled: a user cannot pick from it";
    return;
  }
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

}  // namespace

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

std::string QuestionNamingSelectedDisk(const TextPair& question, HWND dialog, int listId) {
  std::vector<std::string> lines = ListEntries(dialog, listId);
  int selected = ListSelection(dialog, listId);
  if (selected < 0 || selected >= static_cast<int>(lines.size())) return "(no disk selected)";
  const char* label = ExpectedLanguage() == Language::Chinese ? "磁盘：" : "Disk: ";
  return Expected(question) + "\r\n" + label + lines[static_cast<size_t>(selected)];
}

std::vector<std::string> ComboEntries(HWND dialog, int id) {
  return Entries(Control(dialog, id), CB_GETCOUNT, CB_GETLBTEXTLEN, CB_GETLBTEXT);
}

int ComboSelection(HWND dialog, int id) {
  return static_cast<int>(SendToUi(Control(dialog, id), CB_GETCURSEL, 0, 0));
}

void TypeText(HWND dialog, int id, const std::string& utf8) {
  HWND control = Control(dialog, id);
  if (!control) return;
  HWND edit = ClassName(control) == "ComboBox" ? FindWindowExW(control, nullptr, L"Edit", nullptr) : control;
  if (!IsReachable(edit)) {
    ADD_FAILURE() << "control " << id << " is hidden or disabled: a user cannot type into it";
    return;
  }
  std::wstring wide = Utf8ToWide(utf8.c_str());
  Post([=] {
    SetFocus(edit);
    SendMessageW(edit, EM_SETSEL, 0, -1);
    for (wchar_t c : wide) SendMessageW(edit, WM_CHAR, c, 1);
  });
}

void SetEditText(HWND dialog, int id, const std::string& utf8) {
  HWND control = Control(dialog, id);
  OnUiThread([&] { SetWindowTextUtf8(control, utf8.c_str()); });
}

HWND FocusWindow() {
  HWND focus = nullptr;
  OnUiThread([&] { focus = GetFocus(); });
  return focus;
}

void PressKey(int virtualKey) {
  Post([virtualKey] {
    HWND focus = GetFocus();
    LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(static_cast<UINT>(virtualKey), 0)) << 16;
    PostMessageW(focus, WM_KEYDOWN, static_cast<WPARAM>(virtualKey), scan | 1);
    PostMessageW(focus, WM_KEYUP, static_cast<WPARAM>(virtualKey), scan | 1 | (LPARAM(3) << 30));
  });
  Settle();  // the key messages were posted behind the first marker
}

void PressKeyWith(const std::vector<int>& modifiers, int virtualKey) {
  if (!IsReachable(FocusWindow())) {
    ADD_FAILURE() << "no window that a user could type into has the focus";
    return;
  }
  Post([modifiers, virtualKey] {
    BYTE keys[256];
    GetKeyboardState(keys);
    for (int key : modifiers) keys[key] |= 0x80;
    SetKeyboardState(keys);
    HWND focus = GetFocus();
    const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(static_cast<UINT>(virtualKey), 0)) << 16;
    MSG down = MSG();
    down.hwnd = focus;
    down.message = WM_KEYDOWN;
    down.wParam = static_cast<WPARAM>(virtualKey);
    down.lParam = scan | 1;
    // Windows' modal sheet hands every message of its loop to PSM_ISDIALOGMESSAGE first, which is where its page
    // shortcuts live; Wine's modal loop (8.0) calls IsDialogMessage only. Keys typed into the sheet go the Windows
    // way here; those typed into a modal dialog reach that dialog's own loop, as on Windows.
    const bool taken =
        IsChild(Sheet(), focus) && SendMessageW(Sheet(), PSM_ISDIALOGMESSAGE, 0, reinterpret_cast<LPARAM>(&down));
    if (!taken) PostMessageW(focus, WM_KEYDOWN, down.wParam, down.lParam);
    PostMessageW(focus, WM_KEYUP, down.wParam, down.lParam | (LPARAM(3) << 30));
  });
  Post([modifiers] {
    BYTE keys[256];
    GetKeyboardState(keys);
    for (int key : modifiers) keys[key] &= 0x7F;
    SetKeyboardState(keys);
  });
}

// --- Dialogs and message boxes -------------------------------------------------------------------------------

HWND WaitForDialog(DWORD timeoutMs) {
  DialogSearch search = {nullptr, nullptr};
  WaitFor(
      [&] {
        search = DialogSearch{Sheet(), nullptr};
        EnumThreadWindows(UiThreadId(), FindModalDialog, reinterpret_cast<LPARAM>(&search));
        return search.found != nullptr;
      },
      timeoutMs);
  if (!search.found) ADD_FAILURE() << "no dialog came up";
  return search.found;
}

bool WaitForWindowGone(HWND window, DWORD timeoutMs) {
  return WaitFor([&] { return !IsWindow(window) || !IsWindowVisible(window); }, timeoutMs);
}

void AnswerMessageBoxes(std::initializer_list<int> answers) {
  std::lock_guard<SysLock> lock(TheHarness().boxMutex);
  for (int answer : answers) TheHarness().answers.push_back(answer);
}

MessageBoxRecord WaitForMessageBox(DWORD timeoutMs) {
  Harness& h = TheHarness();
  MessageBoxRecord box;
  bool came = WaitFor(
      [&] {
        std::lock_guard<SysLock> lock(h.boxMutex);
        if (h.boxes.empty()) return false;
        box = h.boxes.front();
        h.boxes.pop_front();
        return true;
      },
      timeoutMs);
  if (!came) ADD_FAILURE() << "no message box came up";
  return box;
}

std::vector<MessageBoxRecord> TakeMessageBoxes() {
  Harness& h = TheHarness();
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
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;
  if (!CaptureWindow(window, &width, &height, &rgb)) return false;
  std::string dir = ScreenshotDirectory();
  CreateDirectoryA(dir.c_str(), nullptr);
  std::string path = dir + "\\" + name + "-" + LanguageTag() + ".png";
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  std::string png = EncodePng(width, height, rgb);
  bool written = std::fwrite(png.data(), 1, png.size(), file) == png.size();
  return std::fclose(file) == 0 && written;
}

namespace {

struct RealBox {
  std::wstring text, caption;
  UINT style;
};

DWORD WINAPI RealBoxThread(void* parameter) {
  RealBox* box = static_cast<RealBox*>(parameter);
  MessageBoxW(nullptr, box->text.c_str(), box->caption.c_str(), box->style);
  return 0;
}

}  // namespace

bool ScreenshotMessageBox(const MessageBoxRecord& record, const std::string& name) {
  RealBox box{Utf8ToWide(record.text.c_str()), Utf8ToWide(record.caption.c_str()), record.style};
  HANDLE thread = CreateThread(nullptr, 0, RealBoxThread, &box, 0, nullptr);
  if (!thread) return false;
  HWND window = nullptr;
  for (int i = 0; i < 100 && !window; ++i, Sleep(50)) window = FindWindowW(L"#32770", box.caption.c_str());
  bool written = window && Screenshot(window, name);
  if (window) PostMessageW(window, WM_COMMAND, IDOK, 0);
  if (WaitForSingleObject(thread, kTimeoutMs) != WAIT_OBJECT_0) written = false;
  CloseHandle(thread);
  return written;
}

// --- Paths -------------------------------------------------------------------------------------------------------

std::string WindowsPath(const std::string& hostPath) {
  if (hostPath.empty() || hostPath[0] != '/') return hostPath;
  std::string path = "Z:" + hostPath;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

bool AddStickThatWrapsAtHalf() {
  SimDiskSpec liar;
  liar.number = 2;
  liar.sectorCount = 16 * 2048;
  liar.realSectors = 8 * 2048;
  liar.volumes.push_back(SimVolumeSpec());
  liar.volumes.back().letter = 'F';
  return SimAddDisk(liar);
}

}  // namespace gui

// --- Fixture -----------------------------------------------------------------------------------------------------

namespace {

SimDiskSpec MemoryDisk(int number, uint32_t bus, uint64_t sectors, char letter) {
  SimDiskSpec disk;
  disk.number = number;
  disk.busType = bus;
  disk.sectorCount = sectors;
  SimVolumeSpec volume;
  volume.letter = letter;
  disk.volumes.push_back(volume);
  return disk;
}

}  // namespace

void GuiTest::SetUp() {
  SimReset();
  SimSetOemCodePage(GetOEMCP());  // the system's, as Windows would: 936 under zh_CN
  SimDiskSpec system = MemoryDisk(0, kSimBusAta, 16384, 'C');
  system.hasVendor = false;
  system.product = "SIM SYSTEM DISK";
  ASSERT_TRUE(SimAddDisk(system));
  ASSERT_TRUE(SimAddDisk(MemoryDisk(1, kSimBusUsb, 64 * 2048, 'E')));
}

void GuiTest::TearDown() {
  using namespace gui;
  if (ProgramRunning()) gui::CloseProgram();
  EXPECT_FALSE(ProgramRunning()) << "the program did not close";
  {
    std::lock_guard<SysLock> lock(TheHarness().boxMutex);
    for (const MessageBoxRecord& box : TheHarness().boxes)
      ADD_FAILURE() << "message box nobody looked at: \"" << box.text << "\" (" << box.caption << ")";
    if (!TheHarness().answers.empty())
      ADD_FAILURE() << TheHarness().answers.size() << " scripted message box answers were not used";
    TheHarness().boxes.clear();
    TheHarness().answers.clear();
  }
  SetMessageBoxHookForTesting(nullptr);
  EXPECT_EQ(SimOpenHandleCount(), 0) << "a handle was left open";
}

#include <shlobj.h>  // DROPFILES

namespace gui {

void DropFiles(HWND window, const std::vector<std::wstring>& paths) {
  size_t chars = 1;
  for (const std::wstring& p : paths) chars += p.size() + 1;
  HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + chars * sizeof(wchar_t));
  auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
  drop->pFiles = sizeof(DROPFILES);
  drop->fWide = TRUE;
  auto* out = reinterpret_cast<wchar_t*>(drop + 1);
  for (const std::wstring& p : paths) {
    std::memcpy(out, p.c_str(), (p.size() + 1) * sizeof(wchar_t));
    out += p.size() + 1;
  }
  GlobalUnlock(memory);
  PostMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
  Settle();
}

}  // namespace gui
