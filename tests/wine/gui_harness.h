// Driving the program's property sheet in-process under Wine.
//
// The program runs on a UI thread of its own (RunProgram, exactly as WinMain calls it) over the simulated machine;
// the test thread drives it the way a user would: switch tabs, click buttons, tick boxes, pick list and combo
// entries, type, press keys, close windows. Every action waits until the UI thread has handled it (and whatever it
// caused, short of a modal loop), so a test reads the result on the next line. Message boxes never appear: each one
// is recorded (text, caption, style) and answered from a script the test sets up beforehand.
//
//   TEST_F(GuiTest, Example) {
//     ASSERT_TRUE(StartProgram());
//     SwitchTab(2);
//     AnswerMessageBoxes({IDOK});
//     ClickButton(CurrentPage(), 1002);
//     MessageBoxRecord box = WaitForMessageBox();
//     EXPECT_EQ(box.caption, "Plover hint");
//     PressSheetButton(IDOK);
//     EXPECT_EQ(WaitForProgramExit(), 0);
//   }
#pragma once

#include <windows.h>
#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "base/texts.h"
#include "disk/discovery.h"
#include "sys/sim/sim.h"

namespace gui {

constexpr DWORD kTimeoutMs = 15000;
constexpr int kStick = 1;  // the fixture's 64 MiB USB stick, E:
// Sectors of a 1.44M block, and the first sector of the root directory in a 1.44M image.
constexpr uint32_t kBlock144 = 3072, kRootSector144 = 19;

// --- The program ---------------------------------------------------------------------------------------------

// Starts the program on its UI thread and waits until its sheet is shown. False when it did not come up.
bool StartProgram(DWORD timeoutMs = kTimeoutMs);
// Waits until the program returned; its exit code, or -1 when it is still running after the timeout.
int WaitForProgramExit(DWORD timeoutMs = kTimeoutMs);
bool ProgramRunning();

// The language the test run expects, from LANG ("zh_CN..." is Chinese).
Language ExpectedLanguage();
// The half of a pair the program shows in this run's language.
std::string Expected(const TextPair& text);
// The same with its printf fields filled in.
template <typename A, typename... R>
std::string Expected(const TextPair& text, A first, R... rest) {
  return FormatText(Expected(text).c_str(), first, rest...);
}
// The program started and the page of tab `tab` in front; nullptr when the program did not come up.
HWND OpenPage(int tab);

// --- Running code on the UI thread, waiting --------------------------------------------------------------------

// Runs `action` on the UI thread and returns when it is done. For reads and for actions that do not start a modal
// loop (a modal loop would block until it ends: post those, see Post).
void OnUiThread(const std::function<void()>& action);
// Runs `action` on the UI thread without waiting for it (it may open a modal dialog), then waits until the UI
// thread has got that far.
void Post(const std::function<void()>& action);
// Waits until the UI thread has handled every message posted to it so far.
bool Settle(DWORD timeoutMs = kTimeoutMs);
// Polls `condition` (on the test thread) until it holds. False on timeout.
bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs = kTimeoutMs);

// --- The sheet ---------------------------------------------------------------------------------------------------

HWND Sheet();
HWND TabControl();
int TabCount();
std::string TabTitle(int index);
// Clicks a tab with the mouse, as the user does; the page in front may refuse to be left. A page is created the
// first time it is shown.
void SwitchTab(int index);
int CurrentTab();
HWND CurrentPage();
// Clicks one of the sheet's own buttons: IDOK, IDCANCEL, IDHELP.
void PressSheetButton(int id);
// The window's close box (the system menu's Close).
void PressCloseBox(HWND window);

// --- Controls ----------------------------------------------------------------------------------------------------

HWND Control(HWND dialog, int id);  // fails the test when there is no such control
std::string Text(HWND window);
std::string Text(HWND dialog, int id);
std::string ClassName(HWND window);
LONG_PTR Style(HWND window);
bool IsChecked(HWND dialog, int id);
bool IsEnabled(HWND dialog, int id);
bool IsVisible(HWND dialog, int id);
// True when a user could reach the control: it and every window above it are visible and enabled.
bool IsReachable(HWND window);

// Clicks a button, check box or radio button. Fails the test (and does nothing) when the user could not click it.
void ClickButton(HWND dialog, int id);
// Clicks a check box when its state differs from `checked`.
void Tick(HWND dialog, int id, bool checked);
// Picks an entry of a list box or combo box as a click would: selection, then the selection-change notification.
void SelectListEntry(HWND dialog, int id, int index);
void SelectComboEntry(HWND dialog, int id, int index);
std::vector<std::string> ListEntries(HWND dialog, int id);
int ListSelection(HWND dialog, int id);
// A question about to destroy a disk's data as the page asks it: the question, then the disk list's selected line
// under it. Read before the click: the line changes with the format.
std::string QuestionNamingSelectedDisk(const TextPair& question, HWND dialog, int listId);
std::vector<std::string> ComboEntries(HWND dialog, int id);
int ComboSelection(HWND dialog, int id);
// Types into an edit control (or a combo box's edit field): focus, select all, one character at a time, so the
// control's own rules (digits only, upper case, length limit) apply.
void TypeText(HWND dialog, int id, const std::string& utf8);
// Replaces an edit control's text at once.
void SetEditText(HWND dialog, int id, const std::string& utf8);
// Presses and releases a key on the window with the keyboard focus.
void PressKey(int virtualKey);
// The same with modifier keys held (VK_CONTROL, VK_SHIFT): down in the UI thread's key state while the key's
// messages are handled, as the keyboard leaves them. A key typed into the sheet goes to its PSM_ISDIALOGMESSAGE
// first, as Windows' modal sheet loop hands it (the sheet's page shortcuts live there; Wine 8's loop skips them).
// Fails the test when no window a user could reach has the focus.
void PressKeyWith(const std::vector<int>& modifiers, int virtualKey);

// --- Dialogs and message boxes -------------------------------------------------------------------------------

// The topmost enabled dialog of the program other than the sheet (a modal dialog), once it is shown.
HWND WaitForDialog(DWORD timeoutMs = kTimeoutMs);
bool WaitForWindowGone(HWND window, DWORD timeoutMs = kTimeoutMs);
// Answers the files dialog's name dialog that came up over `dialog` (a screenshot of it first when named): `name`
// typed and OK, or Cancel without one. The name the dialog offered.
std::string AnswerNameDialog(HWND dialog, const char* name, const char* screenshot = nullptr);
// Files dropped from Explorer onto `window`: a WM_DROPFILES with the paths, as the shell sends it; waits until the
// UI thread got that far (a question it asks is then up).
void DropFiles(HWND window, const std::vector<std::wstring>& paths);

struct MessageBoxRecord {
  std::string text;
  std::string caption;
  UINT style = 0;
  int answer = 0;
  HWND owner = nullptr;
  bool scripted = false;  // answered from the script; false: nobody expected it (answered Cancel, No or OK)
};

// A message box as expected: text, caption and style.
void ExpectBox(const MessageBoxRecord& box, const std::string& text, const std::string& caption, UINT style);
// Queues the answers (IDOK, IDCANCEL, IDYES, IDNO, IDRETRY) for the next message boxes, in order.
void AnswerMessageBoxes(std::initializer_list<int> answers);
// Waits for the next message box and takes it from the record.
MessageBoxRecord WaitForMessageBox(DWORD timeoutMs = kTimeoutMs);
// Every message box recorded and not yet taken.
std::vector<MessageBoxRecord> TakeMessageBoxes();

// --- Screenshots -------------------------------------------------------------------------------------------------

// Writes the window as <screenshot dir>/<name>-<en|zh>.png ($KORVANE_SCREENSHOT_DIR). False when it could not.
bool Screenshot(HWND window, const std::string& name);
// Shows a recorded message box for real (its text, caption and style, no owner) and writes it as a screenshot.
bool ScreenshotMessageBox(const MessageBoxRecord& box, const std::string& name);

// --- Paths -------------------------------------------------------------------------------------------------------

// A Windows path for a host path from the environment ("/work/x" becomes "Z:\work\x").
std::string WindowsPath(const std::string& hostPath);
// Writes a host file (its Windows path in UTF-8) with `bytes`, replacing it; the path as the file pickers give it.
std::wstring WriteHostFile(const std::string& path, const std::vector<uint8_t>& bytes);
inline std::wstring WriteHostFile(const std::string& path, const std::string& bytes) {
  return WriteHostFile(path, std::vector<uint8_t>(bytes.begin(), bytes.end()));
}
// A host file's bytes; empty when it cannot be read.
std::vector<uint8_t> ReadHostFile(const std::string& path);

// --- Disks and folders -------------------------------------------------------------------------------------------

// The disk of the pages' list entry `entry` as discovery finds it now: the texts the pages name it by.
RemovableDisk ListedDisk(int entry);
// Adds a 16 MiB USB stick as drive 2 with F: that holds only 8 MiB and wraps round past them. False when it
// could not be added.
bool AddStickThatWrapsAtHalf();
// The label of 1.44M block `block` on disk `disk` as its root directory holds it, up to the first zero byte.
std::string BlockLabel(int disk, uint32_t block);
// Waits until the enhanced page's run (service switch or format) has ended and the page applied what it reported,
// including the device events its restarts raised: the tabs and the batch button usable, the button no longer Stop.
void WaitForEnhancedRunEnd(HWND page);

// A folder of its own in the temporary directory, made the simulated machine's current directory, with a Windows
// directory under it whose driver directory takes the installed driver; "Dunmarle.sys" in it when asked for.
// Removed with what was left in it.
struct ScratchFolder {
  std::string dir;
  explicit ScratchFolder(const char* name, bool withDriver = false);
  ~ScratchFolder();
  void PutDriver() const;
  std::string operator/(const std::string& name) const { return dir + "\\" + name; }
};

}  // namespace gui

// Fixture: a fresh simulated machine per test (system disk 0 with C:, a 64 MiB USB stick as drive 1 with E:),
// device events delivered to the program's windows as WM_DEVICECHANGE (in order with the harness's own actions:
// after SimRemoveDisk, Settle() returns once the pages have handled the removal). TearDown closes a program still running and fails the test on
// message boxes nobody took, answers nobody used and handles left open.
class GuiTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
};

// Disk `number` with the filter driver attached and told 1.44M blocks over its first 64 MiB, presenting `block`:
// the state a started service leaves, for tests that begin there.
void AttachFilterPresenting(int number, uint32_t block);
