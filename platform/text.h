#ifndef VTCONSOLE_PLATFORM_TEXT_H
#define VTCONSOLE_PLATFORM_TEXT_H

// Byte-string helpers shared by every part of the launcher. They need no platform, so the same
// code is compiled natively for sanitizer and fuzz tests.

#include <cstddef>

// True when a and b are the same string but for the case of the ASCII letters A-Z; bytes of 128
// and above compare as they are, whatever the code page.
bool EqualsIgnoringAsciiCase(const char* a, const char* b);

// Writes first, second and third one after the other into buffer, with the terminator, when the
// whole result fits in size bytes. Otherwise returns false and leaves buffer an empty string:
// a path that does not fit is never cut.
bool JoinText(char* buffer, std::size_t size, const char* first, const char* second,
              const char* third = "");

#endif
