// Conversions between UTF-8 and a Windows code page (437, 850, 936, ...) with the host's own tables: the Win32
// conversions on Windows, iconv elsewhere. Both sides of the seam use them: the Windows layer for the machine's OEM
// code page, the simulated machine for the one it plays.
#pragma once

#include <cstdint>
#include <string>

// The code page's bytes of a UTF-8 text. False when the text is not UTF-8 or a character has no bytes of its own
// in the code page (Windows would put the default character or a look-alike in its place).
bool CodePageFromUtf8(uint32_t codePage, const std::string& utf8, std::string* bytes);
// The text that bytes of the code page stand for, as UTF-8. False when they are no text of the code page (a lead
// byte without its trail byte, a byte the code page leaves undefined).
bool CodePageToUtf8(uint32_t codePage, const std::string& bytes, std::string* utf8);
