#include "ui/message.h"

#include <atomic>

#include "ui/wintext.h"

namespace {

std::atomic<MessageBoxHook> gHook{nullptr};

}  // namespace

int ShowMessage(HWND owner, const char* textUtf8, const char* captionUtf8, UINT style) {
  if (MessageBoxHook hook = gHook.load()) return hook(owner, textUtf8, captionUtf8, style);
  return MessageBoxW(owner, Utf8ToWide(textUtf8).c_str(), Utf8ToWide(captionUtf8).c_str(), style);
}

void SetMessageBoxHookForTesting(MessageBoxHook hook) { gHook.store(hook); }
