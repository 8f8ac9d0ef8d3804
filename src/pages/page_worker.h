// How a page talks to its worker threads, the same on every page. The page's thread owns the controls, the disk
// table and the job; a worker reads its job, does the long work and reports through these messages:
//
//   start       StartWorker(page, which, work): `work` runs on a new thread over a job the page filled before
//               the start. What the page reads back (a result, the Stop flag) it keeps, with the returned thread,
//               until the completion arrived.
//   progress    kWorkerProgress (the run's percent, posted by the run control PreparePageRun readies),
//               kWorkerStatus (a status line), kWorkerBusy (the busy indicator), kWorkerUpdate (what a page's own
//               worker found, in the page's own payload type).
//   hold        kWorkerHold: the sheet held while the worker writes (tabs, sheet buttons, the page's controls but
//               its Stop button), and given back. A worker that writes from its start to its end needs none: its
//               page turns the start button into the Stop button when it starts it. Either way the page refuses to
//               be left (AnswerPageLeaving) until the completion arrived.
//   questions   Every message box is shown on the page's thread, modal to the page: a page asks what it can
//               before the start; a worker that has to ask or tell something midway calls WorkerMessageBox, which
//               sends kWorkerBox to the page and returns the answer.
//   completion  kWorkerDone, posted once `work` has returned: the page ends the thread (EndWorker), reads the
//               job's result and tells it, and is idle again.
//
// All but kWorkerBox are posted; a payload posted in lParam belongs to the page from then on.
#pragma once

#include <windows.h>

#include <functional>

enum : UINT {
  kWorkerProgress = WM_APP + 0x50,  // wParam: the percent, 0 to 100
  kWorkerStatus,                    // lParam: std::string*, the status line
  kWorkerBusy,                      // wParam: 1 the busy indicator on, 0 off; lParam: the worker's `which`
  kWorkerHold,                      // wParam: 1 the sheet held for the writes, 0 given back
  kWorkerUpdate,                    // lParam: the page's own payload
  kWorkerBox,                       // sent; lParam: WorkerBox*, answered on the page's thread
  kWorkerDone,                      // wParam: the worker's `which`
};

// Starts `work` on a new thread; when it has returned, kWorkerDone(which) is posted to `page`, or, when the page is
// gone by then, `pageGone` runs on the worker instead. Returns the thread, which the page ends with EndWorker, or
// nullptr when none could be started: then `work` never runs and nothing is posted.
HANDLE StartWorker(HWND page, WPARAM which, std::function<void()> work, std::function<void()> pageGone = {});

// Waits until the worker has returned, taking the messages it sends meanwhile (a message box it asks for), then
// closes the thread and clears `thread`. Nothing when it is already null.
void EndWorker(HANDLE* thread);

// Posts `payload` to the page, which owns it from then on; it is freed here when it cannot be posted.
template <typename T>
void PostToPage(HWND page, UINT message, T* payload) {
  if (!PostMessageW(page, message, 0, reinterpret_cast<LPARAM>(payload))) delete payload;
}

// What a worker asks the page to show.
struct WorkerBox {
  const char* text;
  const char* caption;
  UINT style;
  int answer;
};

// A message box for a worker, shown by the page's thread (ShowMessage, owned by the page). Returns the button
// pressed; IDCANCEL when the page is gone.
int WorkerMessageBox(HWND page, const char* textUtf8, const char* captionUtf8, UINT style);

// The page's side of kWorkerBox: shows the box and stores the answer. Returns TRUE for the dialog procedure.
INT_PTR AnswerWorkerBox(HWND page, LPARAM box);
