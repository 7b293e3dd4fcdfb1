#ifndef VTCONSOLE_PLATFORM_NEW_TEXT_FILE_H
#define VTCONSOLE_PLATFORM_NEW_TEXT_FILE_H

// platform::CreateNewTextFile as the C runtime does it, for every implementation of
// platform/platform.h.

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cstdio>

inline FILE* CreateNewTextFileWithCrt(const char* path)
{
    // _O_EXCL: a name already taken, by a file, a link or a second name of a file elsewhere,
    // fails the call rather than be written through.
    const int descriptor =
        _open(path, _O_WRONLY | _O_CREAT | _O_EXCL | _O_TEXT, _S_IREAD | _S_IWRITE);
    if (descriptor < 0) return nullptr;
    FILE* file = _fdopen(descriptor, "w");
    if (file == nullptr) _close(descriptor);
    return file;
}

#endif
