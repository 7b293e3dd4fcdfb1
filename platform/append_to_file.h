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
    // Windows writes each record at the end in one piece. Wine finds the end and then writes, and
    // two processes appending at once then write over each other's record: a lock of one byte
    // far past any data makes them take turns there. Where it cannot be had (Windows may refuse
    // it on a handle that may only append), the record is written all the same.
    OVERLAPPED turn = {};
    turn.Offset = 0xFFFFFFFE;
    turn.OffsetHigh = 0x7FFFFFFF;
    const BOOL locked = ::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &turn);
    DWORD written = 0;
    const BOOL wrote = ::WriteFile(file, text, length, &written, nullptr);
    if (locked) ::UnlockFileEx(file, 0, 1, 0, &turn);
    ::CloseHandle(file);
    return wrote && written == length;
}

#endif
