// GoogleTest's Notification waits with std::mutex and std::condition_variable, which the Windows compilers of this
// build lack (their thread model is the system's own; see src/sys/lock.h). This one, force-included into GoogleTest
// and every test that uses it, waits on an event instead.
#pragma once

#include <windows.h>

namespace testing {
namespace internal {

class Notification {
 public:
  Notification() : event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
  ~Notification() { CloseHandle(event_); }
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;

  void Notify() { SetEvent(event_); }
  void WaitForNotification() { WaitForSingleObject(event_, INFINITE); }

 private:
  HANDLE event_;
};

}  // namespace internal
}  // namespace testing
