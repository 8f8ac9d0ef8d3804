// --codepage: the code page labels, identifiers and 8.3 names are kept in on the disk, the OEM code page of the
// machine that reads it (850 by default, as mtools; 437 for US DOS, 936 for Chinese Windows). The seam converts
// with it through iconv, so the program's own conversions run with it.
#include <cstdint>
#include <string>
#include <vector>

#include "base/oemtext.h"
#include "cli/cli.h"
#include "sys/codepage.h"
#include "sys/posix/posix.h"

namespace {

uint32_t gCodePage = kCliDefaultCodePage;

}  // namespace

std::string TakeCodePage(std::vector<std::string>& args) {
  std::string text;
  if (!TakeOption(args, "--codepage", &text)) {
    PosixSetOemCodePage(gCodePage);
    return "";
  }
  uint64_t number = 0;
  std::string probe;
  if (!ParseUnsigned(text, &number) || number == 0 || number > 65535)
    return "--codepage takes a code page number: 850, 437, 936, ...";
  if (!CodePageFromUtf8(static_cast<uint32_t>(number), "A", &probe))
    return "code page " + text + " is not known to this system's iconv";
  gCodePage = static_cast<uint32_t>(number);
  PosixSetOemCodePage(gCodePage);
  return "";
}

uint32_t CliCodePage() { return gCodePage; }

std::string CliOemBytes(const std::string& text, size_t maxBytes, const std::string& what, std::string* bytes) {
  OemText oem = ToOemText(text, maxBytes);
  const std::string codePage = "code page " + std::to_string(oem.codePage);
  switch (oem.fault) {
    case OemTextFault::kNone:
      if (bytes) *bytes = oem.bytes;
      return "";
    case OemTextFault::kNotInCodePage:
      return what + " cannot hold '" + CliPrintable(oem.character) + "': " + codePage +
             " has no such character (--codepage names the disk's code page, 936 for Chinese)";
    case OemTextFault::kTooLong:
      break;
  }
  return what + " takes " + std::to_string(oem.bytes.size()) + " bytes in " + codePage + "; at most " +
         std::to_string(maxBytes) + " fit";
}

std::string CliOemName(const std::string& text, std::string* oem) {
  return CliOemBytes(UpperCaseName(text), std::string::npos, "the name " + CliPrintable(text), oem);
}
