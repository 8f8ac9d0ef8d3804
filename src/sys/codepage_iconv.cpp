// Code page conversions through iconv (glibc knows the Windows code pages as CP437, CP850, CP936, ...).
#include <iconv.h>

#include <cerrno>
#include <vector>

#include "sys/codepage.h"

namespace {

bool Convert(const char* to, const char* from, const std::string& in, std::string* out) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::vector<char> buffer(in.size() * 4 + 16);
  char* source = const_cast<char*>(in.data());
  size_t sourceLeft = in.size();
  char* target = buffer.data();
  size_t targetLeft = buffer.size();
  size_t done = iconv(cd, &source, &sourceLeft, &target, &targetLeft);
  // A character that iconv had to replace is counted in its result; glibc refuses it with EILSEQ instead, but a
  // library that replaced would pass it for a good conversion.
  bool ok = done == 0 && sourceLeft == 0 && iconv(cd, nullptr, nullptr, &target, &targetLeft) == 0;
  iconv_close(cd);
  if (ok) out->assign(buffer.data(), static_cast<size_t>(target - buffer.data()));
  return ok;
}

std::string Name(uint32_t codePage) { return "CP" + std::to_string(codePage); }

}  // namespace

bool CodePageFromUtf8(uint32_t codePage, const std::string& utf8, std::string* bytes) {
  return Convert(Name(codePage).c_str(), "UTF-8", utf8, bytes);
}

bool CodePageToUtf8(uint32_t codePage, const std::string& bytes, std::string* utf8) {
  return Convert("UTF-8", Name(codePage).c_str(), bytes, utf8);
}
