// Texts the FAT directory keeps (volume labels, block identifiers, 8.3 names) are bytes of the machine's OEM code
// page, the one DOS, Windows Explorer and the emulators' machines read them in: 936 on Chinese Windows, 437 or 850
// on Western ones. The program's own texts are UTF-8; these two turn one into the other through the seam.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

enum class OemTextFault {
  kNone,
  kNotInCodePage,  // `character` has no bytes of its own in the code page
  kTooLong,        // the bytes are more than the field holds
};

struct OemText {
  OemTextFault fault = OemTextFault::kNone;
  std::string bytes;      // the text in the code page (kNone, kTooLong)
  std::string character;  // kNotInCodePage: the first character that does not fit, as UTF-8
  uint32_t codePage = 0;
};

// The bytes a text takes in a field of maxBytes bytes of the FAT directory, or why it cannot go there. With
// cutToField, a text longer than the field is cut after its last whole character that fits instead of refused.
OemText ToOemText(const std::string& utf8, size_t maxBytes, bool cutToField = false);

// The first `count` characters of a UTF-8 text (what an edit limited to that many characters would hold).
std::string FirstCharacters(const std::string& utf8, size_t count);

// A file name or path as DOS keeps it: letters in upper case (ASCII and Latin-1's accented letters; other
// characters as they are), still UTF-8, ready for ToOemText. Upper-casing before the conversion leaves the bytes of
// a two-byte character alone.
std::string UpperCaseName(const std::string& utf8);

// Bytes from the disk as UTF-8 text, decoded through the OEM code page; a byte that does not decode (a lead byte
// without its trail byte) is kept as it is, so the caller still sees it (the command line shows it as \xNN).
std::string FromOemText(const std::string& bytes);
