#include "base/oemtext.h"

#include "sys/sys.h"

namespace {

// The length of the UTF-8 sequence that begins with byte c (1 for a byte that begins none).
size_t SequenceLength(unsigned char c) {
  if (c >= 0xF0 && c < 0xF8) return 4;
  if (c >= 0xE0) return c < 0xF0 ? 3 : 1;
  if (c >= 0xC0) return 2;
  return 1;
}

}  // namespace

OemText ToOemText(const std::string& utf8, size_t maxBytes, bool cutToField) {
  OemText text;
  text.codePage = SysGetOemCodePage();
  if (SysUtf8ToOem(utf8, &text.bytes)) {
    if (text.bytes.size() <= maxBytes) return text;
    if (!cutToField) {
      text.fault = OemTextFault::kTooLong;
      return text;
    }
    text.bytes.clear();
    for (size_t at = 0; at < utf8.size();) {
      size_t length = SequenceLength(static_cast<unsigned char>(utf8[at]));
      std::string one;
      if (!SysUtf8ToOem(utf8.substr(at, length), &one) || text.bytes.size() + one.size() > maxBytes) break;
      text.bytes += one;
      at += length;
    }
    return text;
  }
  text.fault = OemTextFault::kNotInCodePage;
  text.bytes.clear();
  // The first character that does not convert on its own names the fault; a text whose every character converts
  // but not the whole (it is no UTF-8) names its first byte that begins no character.
  for (size_t at = 0; at < utf8.size();) {
    size_t length = SequenceLength(static_cast<unsigned char>(utf8[at]));
    if (at + length > utf8.size()) length = utf8.size() - at;
    std::string one;
    if (!SysUtf8ToOem(utf8.substr(at, length), &one)) {
      text.character = utf8.substr(at, length);
      break;
    }
    at += length;
  }
  return text;
}

std::string UpperCaseName(const std::string& utf8) {
  std::string upper = utf8;
  for (size_t i = 0; i < upper.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(upper[i]);
    if (c >= 'a' && c <= 'z') {
      upper[i] = static_cast<char>(c - 'a' + 'A');
    } else if (c == 0xC3 && i + 1 < upper.size()) {
      // U+00E0-U+00FE but U+00F7 (the division sign) are the lower case of U+00C0-U+00DE.
      const unsigned char next = static_cast<unsigned char>(upper[++i]);
      if (next >= 0xA0 && next <= 0xBE && next != 0xB7) upper[i] = static_cast<char>(next - 0x20);
    } else {
      i += SequenceLength(c) - 1;
    }
  }
  return upper;
}

std::string FirstCharacters(const std::string& utf8, size_t count) {
  size_t at = 0;
  for (size_t n = 0; n < count && at < utf8.size(); ++n) at += SequenceLength(static_cast<unsigned char>(utf8[at]));
  return utf8.substr(0, at < utf8.size() ? at : utf8.size());
}

std::string FromOemText(const std::string& bytes) {
  std::string utf8;
  if (SysOemToUtf8(bytes, &utf8)) return utf8;
  // Piece by piece: a character of one byte, else one of two (a double-byte code page), else the byte as it is.
  utf8.clear();
  for (size_t at = 0; at < bytes.size();) {
    std::string piece;
    if (SysOemToUtf8(bytes.substr(at, 1), &piece)) {
      at += 1;
    } else if (at + 1 < bytes.size() && SysOemToUtf8(bytes.substr(at, 2), &piece)) {
      at += 2;
    } else {
      piece = bytes.substr(at, 1);
      at += 1;
    }
    utf8 += piece;
  }
  return utf8;
}
