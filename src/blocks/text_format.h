// printf-style formatting of the block manager's texts into a std::string.
#pragma once

#include <string>

std::string FormatBlockText(const char* format, ...) __attribute__((format(printf, 1, 2)));
