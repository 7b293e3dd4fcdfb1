#ifndef VTCONSOLE_UPDATE_PATCH_PATHS_H
#define VTCONSOLE_UPDATE_PATCH_PATHS_H

// The paths of the patch tree merge, built in one MAX_PATH buffer per level of the tree. They
// need no platform, so the same code is compiled natively for the sanitizer tests. Every builder
// writes the whole path or, when it would not fit in size bytes, returns false and leaves an
// empty string: a cut path could name another file.

#include <cstddef>

// The text after the first backslash of source, or nullptr when source has none (the top of the
// tree, which stands for the application directory itself).
const char* PathBelowTop(const char* source);

// prefix followed directly by the text after the first backslash of source ("%s%s"); the first
// component of source is dropped. source must have a backslash.
bool BuildDestinationPath(char* buffer, std::size_t size, const char* prefix, const char* source);

// The pattern that enumerates the directory source ("%s\*"), and whether it fits in size bytes,
// told before anything is built.
bool BuildSearchPattern(char* buffer, std::size_t size, const char* source);
bool SearchPatternFits(std::size_t size, const char* source);

// The source path of the entry name inside the directory source ("%s\%s").
bool BuildChildPath(char* buffer, std::size_t size, const char* source, const char* name);

// True for the whole names "." and ".." only: "...", ".x" and "..x" are ordinary entries.
bool IsSelfOrParent(const char* name);

#endif
