#include "pages/run_progress.h"


void PreparePageRun(PageRun* run, HWND page, bool verify) {
  run->control.stop = &run->stop;
  run->control.verify = verify;
  run->control.progress = [run, page](uint64_t done, uint64_t total) {
    const int percent = total == 0 ? 0 : static_cast<int>(done * 100 / total);
    if (percent == run->shownPercent) return;
    run->shownPercent = percent;
    PostMessageW(page, kWorkerProgress, static_cast<WPARAM>(percent), 0);
  };
}

std::string WithPercent(const std::string& status, int percent) {
  return status + " " + std::to_string(percent) + "%";
}
