#ifndef VTCONSOLE_INSTALL_IMPORT_PATH_H
#define VTCONSOLE_INSTALL_IMPORT_PATH_H

// Path building for install mode's source files. Needs no platform, so the same code is compiled
// natively for the sanitizer tests.

#include <cstddef>

// Replaces the file name at the end of path (the text after its last backslash) with name when
// the result, terminator included, fits in the size bytes of path's buffer, and returns true.
// Otherwise returns false and leaves path ending in its backslash, so that a shorter name can
// still be placed afterwards: a cut name never stands in the path. False as well, with path
// unchanged, when path has no backslash.
bool PlaceFileName(char* path, std::size_t size, const char* name);

#endif
