#ifndef VTCONSOLE_PLATFORM_FILE_INDEX_H
#define VTCONSOLE_PLATFORM_FILE_INDEX_H

// platform::GetFileIndex as Windows does it, for every implementation of platform/platform.h.

#include <winternl.h>

#include "platform/platform.h"

inline BOOL GetFileIndexFromNtdll(HANDLE file, ULONGLONG* index)
{
    // ntdll is in every process from its start; asking it for the two functions keeps it out of
    // the import table.
    using Query = NTSTATUS(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, FILE_INFORMATION_CLASS);
    using ToError = ULONG(NTAPI*)(NTSTATUS);
    HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    const auto query = reinterpret_cast<Query>(reinterpret_cast<void (*)()>(
        ntdll != nullptr ? ::GetProcAddress(ntdll, "NtQueryInformationFile") : nullptr));
    const auto toError = reinterpret_cast<ToError>(reinterpret_cast<void (*)()>(
        ntdll != nullptr ? ::GetProcAddress(ntdll, "RtlNtStatusToDosError") : nullptr));
    if (query == nullptr || toError == nullptr) {
        ::SetLastError(ERROR_PROC_NOT_FOUND);
        return FALSE;
    }
    IO_STATUS_BLOCK status;
    FILE_INTERNAL_INFORMATION internal;
    const NTSTATUS result =
        query(file, &status, &internal, sizeof internal, FileInternalInformation);
    if (result < 0) {
        ::SetLastError(toError(result));
        return FALSE;
    }
    *index = static_cast<ULONGLONG>(internal.IndexNumber.QuadPart);
    return TRUE;
}

#endif
