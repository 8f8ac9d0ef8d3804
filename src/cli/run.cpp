// What every korvane command runs under: SIGINT and SIGTERM ask the run to stop before its next write, and the
// progress of long runs is shown on stderr while it is a terminal.
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "cli/cli.h"
#include "disk/runcontrol.h"
#include "sys/posix/posix.h"

namespace {

std::atomic<bool> gStopAsked{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

extern "C" void AskToStop(int) { gStopAsked.store(true); }

// The capacity check of the command's run, once it ran: the sectors whose old bytes it could not put back.
bool gCapacityChecked = false;
std::vector<uint32_t> gNotPutBack;

void NoteCapacityCheck(const std::vector<uint32_t>& notPutBack) {
  gCapacityChecked = true;
  gNotPutBack = notPutBack;
  // A check that put every byte back changed nothing: the target's write accounting starts again after it, so
  // what a failed run reports as written is what the run itself wrote.
  if (notPutBack.empty()) PosixResetWrites();
}

double Seconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

std::string Mebibytes(uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(bytes) / 1048576.0);
  return text;
}

// One line, rewritten in place: bytes done of all, the rate so far and the time left at that rate.
struct ProgressLine {
  double start = Seconds(), shown = 0;
  bool any = false;
  void Show(uint64_t done, uint64_t total) {
    const double now = Seconds();
    if (done < total && now - shown < 0.1) return;
    shown = now;
    const double elapsed = now - start;
    const double rate = elapsed > 0 ? static_cast<double>(done) / elapsed : 0;
    char left[32] = "";
    if (rate > 0 && done < total)
      std::snprintf(left, sizeof left, ", %.0f s left", static_cast<double>(total - done) / rate);
    std::fprintf(stderr, "\r%s of %s, %s/s%s   ", Mebibytes(done).c_str(), Mebibytes(total).c_str(),
                 Mebibytes(static_cast<uint64_t>(rate)).c_str(), left);
    any = true;
  }
  ~ProgressLine() {
    if (any) std::fprintf(stderr, "\n");
  }
};

}  // namespace

int RunCliCommand(const CliCommand& command, std::vector<std::string> args) {
  const bool quiet = TakeFlag(args, "--quiet");
  for (const std::string& a : args)
    if (a == "--help" || a == "-h") {
      if (!command.subcommandHelp || !command.subcommandHelp(args)) std::printf("usage:\n%s\n", command.usage);
      return kExitDone;
    }
  const std::string codePage = TakeCodePage(args);
  if (!codePage.empty()) return CliUsage(codePage);
  struct sigaction action {};
  action.sa_handler = AskToStop;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  // A file size limit (ulimit -f) makes a write past it fail, as a full file system does, instead of ending the
  // process half way through a run.
  signal(SIGXFSZ, SIG_IGN);

  ProgressLine line;
  RunControl control;
  control.stop = &gStopAsked;
  control.capacityChecked = NoteCapacityCheck;
  if (!quiet && ::isatty(STDERR_FILENO))
    control.progress = [&line](uint64_t done, uint64_t total) { line.Show(done, total); };
  int status;
  {
    RunScope scope(&control);
    status = command.run(args);
  }
  // A run that a signal cut short fails as interrupted, whatever step noticed it (a confirmation read included).
  return CliInterrupted() && status == kExitFailed ? kExitInterrupted : status;
}

bool CliInterrupted() { return gStopAsked.load(); }

void CliVerify(bool on) {
  if (RunControl* run = CurrentRun()) run->verify = on;
}

bool CliCapacityChecked(std::vector<uint32_t>* notPutBack) {
  *notPutBack = gNotPutBack;
  return gCapacityChecked;
}

std::string SectorListText(const std::vector<uint32_t>& sectors) {
  std::string text = sectors.size() == 1 ? "sector " : "sectors ";
  for (size_t i = 0; i < sectors.size(); ++i)
    text += (i == 0 ? "" : i + 1 == sectors.size() ? " and " : ", ") + std::to_string(sectors[i]);
  return text;
}

std::string CapacityText(const std::string& target, uint64_t badSector, const std::string& where) {
  const std::string text = target + " is smaller than it claims: sector " + std::to_string(badSector) + where +
                           " does not keep what is written to it; nothing was formatted";
  if (!gNotPutBack.empty())
    return text + ", but the check could not put back what " + SectorListText(gNotPutBack) +
           " held (it wrote markers there)";
  return text + " (the check wrote markers at spread sectors and put back what they held)";
}
