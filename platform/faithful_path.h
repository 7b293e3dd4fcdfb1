#ifndef VTCONSOLE_PLATFORM_FAITHFUL_PATH_H
#define VTCONSOLE_PLATFORM_FAITHFUL_PATH_H

// Narrow paths that name the file they were made for.
//
// The system makes a narrow path from the wide one in the ANSI code page, and puts a look-alike
// or '?' where a character has no place there: a folder "Zażółć" comes back as "Zazólc", which
// is another folder or none. Only there the path's short (8.3) form, which the file system keeps
// in plain ASCII, stands in for it; a narrow path that is faithful is used as it is.

#include "platform/platform.h"

// path holds the narrow form, in a buffer of MAX_PATH bytes, that the system made of wide. Keeps
// it where it is faithful; elsewhere writes wide's short form in the ANSI code page over it.
// Returns false, with path an empty string, where the short form fails, does not fit or is not
// faithful either (as on a volume that keeps no short names): a path that names another file
// is never handed on.
bool EnsureFaithfulPath(char* path, const WCHAR* wide);

// The same for a path that the system gave only in its wide form: writes its narrow form into the
// MAX_PATH bytes of path where that is faithful, its short form elsewhere, and fails as
// EnsureFaithfulPath does.
bool WriteFaithfulPath(char* path, const WCHAR* wide);

#endif
