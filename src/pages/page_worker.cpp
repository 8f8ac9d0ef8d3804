#include "pages/page_worker.h"

#include <memory>
#include <utility>

#include "ui/message.h"

namespace {

struct WorkerStart {
  HWND page;
  WPARAM which;
  std::function<void()> work, pageGone;
};

DWORD WINAPI WorkerThread(LPVOID parameter) {
  std::unique_ptr<WorkerStart> start(static_cast<WorkerStart*>(parameter));
  start->work();
  start->work = nullptr;  // what the work holds of its job is let go before the page hears of the end
  if (!PostMessageW(start->page, kWorkerDone, start->which, 0) && start->pageGone) start->pageGone();
  return 0;
}

}  // namespace

HANDLE StartWorker(HWND page, WPARAM which, std::function<void()> work, std::function<void()> pageGone) {
  auto start = std::make_unique<WorkerStart>(WorkerStart{page, which, std::move(work), std::move(pageGone)});
  HANDLE thread = CreateThread(nullptr, 0, WorkerThread, start.get(), 0, nullptr);
  if (thread) start.release();
  return thread;
}

void EndWorker(HANDLE* thread) {
  if (!*thread) return;
  while (MsgWaitForMultipleObjects(1, thread, FALSE, INFINITE, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1) {
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
  CloseHandle(*thread);
  *thread = nullptr;
}

int WorkerMessageBox(HWND page, const char* textUtf8, const char* captionUtf8, UINT style) {
  WorkerBox box{textUtf8, captionUtf8, style, IDCANCEL};
  SendMessageW(page, kWorkerBox, 0, reinterpret_cast<LPARAM>(&box));
  return box.answer;
}

INT_PTR AnswerWorkerBox(HWND page, LPARAM box) {
  WorkerBox* asked = reinterpret_cast<WorkerBox*>(box);
  asked->answer = ShowMessage(page, asked->text, asked->caption, asked->style);
  return TRUE;
}
