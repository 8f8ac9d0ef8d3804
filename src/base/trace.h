// Developer trace lines on the system debug output. The user never sees them and nothing depends on them.
#pragma once

// Formats printf-style into a 512-byte buffer and writes it to the debug output. A text that does not fit is cut
// to its first 510 characters and a line feed. No line feed is added otherwise.
void TraceLine(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Writes "<label>:Last Err(<error in hex>)<system text>" for the calling thread's last error. Must run on the
// thread whose error it reports, before any other system call.
void TraceLastError(const char* label);
