#ifndef VTCONSOLE_PLATFORM_APPEND_TO_FILE_H
#define VTCONSOLE_PLATFORM_APPEND_TO_FILE_H

// platform::AppendToFile as Win32 does it, for every implementation of platform/platform.h.

#include "platform/platform.h"

inline bool AppendToFileWithWin32(const char* path, const char* text, DWORD length)
{
    // Appending is all this handle may do: every write goes to the end of the file as it then
    // is, whoever else appends. Sharing everything keeps it from standing in anyone's way,
    // another start's, a reader's, or one that moves the file aside.
    HANDLE file = ::CreateFileA(path, FILE_APPEND_DATA,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL wrote = ::WriteFile(file, text, length, &written, nullptr);
    ::CloseHandle(file);
    return wrote && written == length;
}

#endif
