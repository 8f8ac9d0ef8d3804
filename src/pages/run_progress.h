// What a page gives its writing worker: a run control whose progress reaches the page as a posted message, and
// the stop flag its Stop button sets. The worker passes `control` to the writer it runs.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "base/texts.h"
#include "disk/runcontrol.h"
#include "pages/page_worker.h"

struct PageRun {
  std::atomic<bool> stop{false};
  RunControl control;
  int shownPercent = -1;  // the worker's side
};

// Readies `run` for a worker of `page`: verify as the page's check box says, progress posted as kWorkerProgress.
void PreparePageRun(PageRun* run, HWND page, bool verify);

// The status line of a run with its percent: "Now formatting E: disk... 45%".
std::string WithPercent(const std::string& status, int percent);

// The Stop button's texts, the same on every page.
inline constexpr TextPair kRunStopButton{"Stop", "停止"};
inline constexpr TextPair kRunStoppingButton{"Stopping...", "正在停止..."};
inline constexpr TextPair kRunVerifyCheck{"Verify after writing", "写入后校验"};
