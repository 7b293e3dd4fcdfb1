#ifndef VTCONSOLE_PLATFORM_PLATFORM_H
#define VTCONSOLE_PLATFORM_PLATFORM_H

// platform/, the ground: every folder may include it; it includes no other folder.
//
// The launcher's only door to the operating system. Everything that needs Windows includes this
// header and calls platform::, never Win32 or the C runtime's file and environment functions
// directly.
//
// platform_win32.cpp forwards each operation to Win32 or the C runtime unchanged. Test programs
// link another implementation of the same declarations instead, one that can make a chosen call
// fail, count calls or stand in for a process start, so the logic is tested on a real file
// system without a line of test code in the product.
//
// An operation that Win32 itself offers is declared as Win32 declares it (WINAPI), so that
// forwarding it is a single jump: a kilobyte of the launcher's code.

#include <winsock2.h>  // before <windows.h>, which would otherwise pull in the old winsock.h
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>

namespace platform {

// Module, current directory, processes, user interface.
DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size);
BOOL WINAPI SetCurrentDirectoryA(LPCSTR path);
DWORD WINAPI GetLastError();
void WINAPI SetLastError(DWORD error);
void WINAPI Sleep(DWORD milliseconds);
BOOL WINAPI CreateProcessA(LPCSTR applicationName, LPSTR commandLine,
                           LPSECURITY_ATTRIBUTES processAttributes,
                           LPSECURITY_ATTRIBUTES threadAttributes, BOOL inheritHandles,
                           DWORD creationFlags, LPVOID environment, LPCSTR currentDirectory,
                           LPSTARTUPINFOA startupInfo,
                           LPPROCESS_INFORMATION processInformation);
DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds);
BOOL WINAPI GetExitCodeProcess(HANDLE process, LPDWORD exitCode);
BOOL WINAPI CloseHandle(HANDLE handle);
[[noreturn]] void ExitProcess(UINT exitCode);
DWORD WINAPI GetCurrentProcessId();
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style);

// Files and directories.
HANDLE WINAPI FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA findData);
BOOL WINAPI FindNextFileA(HANDLE find, LPWIN32_FIND_DATAA findData);
BOOL WINAPI FindClose(HANDLE find);
DWORD WINAPI GetFileAttributesA(LPCSTR path);
BOOL WINAPI SetFileAttributesA(LPCSTR path, DWORD attributes);
BOOL WINAPI CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES securityAttributes);
BOOL WINAPI RemoveDirectoryA(LPCSTR path);
BOOL WINAPI MoveFileExA(LPCSTR existing, LPCSTR target, DWORD flags);
BOOL WINAPI CopyFileA(LPCSTR existing, LPCSTR target, BOOL failIfExists);
BOOL WINAPI DeleteFileA(LPCSTR path);
HANDLE WINAPI CreateFileA(LPCSTR path, DWORD access, DWORD shareMode,
                          LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                          HANDLE templateFile);
// The file index of an open file or folder, asked of its file system alone (ntdll's
// NtQueryInformationFile, FileInternalInformation). Not GetFileInformationByHandle: that also
// asks for the volume's serial number, which Wine answers through its mount manager service, and
// under qemu that answer can fail to arrive, leaving the caller waiting for ever. FALSE, with the
// thread's last error set, when it cannot be read.
BOOL GetFileIndex(HANDLE file, ULONGLONG* index);

// Process and module snapshots.
HANDLE WINAPI CreateToolhelp32Snapshot(DWORD flags, DWORD processId);
BOOL WINAPI Process32First(HANDLE snapshot, LPPROCESSENTRY32 entry);
BOOL WINAPI Process32Next(HANDLE snapshot, LPPROCESSENTRY32 entry);
BOOL WINAPI Module32First(HANDLE snapshot, LPMODULEENTRY32 entry);

// A process's executable path asked of the process itself: the way that works where its module
// list cannot be read, as that of a 64-bit process from this 32-bit one.
HANDLE WINAPI OpenProcess(DWORD access, BOOL inheritHandle, DWORD processId);
BOOL WINAPI QueryFullProcessImageNameW(HANDLE process, DWORD flags, LPWSTR path, PDWORD size);

// Wide paths, read only to tell whether a narrow path names the file it was made for, and to
// find the short form that stands in for it where it does not.
DWORD WINAPI GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size);
BOOL WINAPI Module32FirstW(HANDLE snapshot, LPMODULEENTRY32W entry);
DWORD WINAPI GetShortPathNameW(LPCWSTR longPath, LPWSTR shortPath, DWORD size);
int WINAPI WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideLength,
                               LPSTR narrow, int narrowSize, LPCSTR defaultCharacter,
                               LPBOOL usedDefaultCharacter);

// The lock that the starts of one installation share: a named mutex, and the file system's
// letter case for its name where the folder's identity cannot be read.
HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES securityAttributes, BOOL initialOwner,
                           LPCSTR name);
BOOL WINAPI ReleaseMutex(HANDLE mutex);
int WINAPI LCMapStringA(LCID locale, DWORD flags, LPCSTR source, int sourceLength,
                        LPSTR destination, int destinationSize);

// Registry.
LONG WINAPI RegCreateKeyA(HKEY root, LPCSTR subKey, PHKEY result);
LONG WINAPI RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type,
                             LPBYTE data, LPDWORD dataSize);
LONG WINAPI RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                           DWORD dataSize);
LONG WINAPI RegCloseKey(HKEY key);

// Windows Sockets: start-up and host-name resolution.
int WINAPI WSAStartup(WORD version, LPWSADATA data);
hostent* WINAPI gethostbyname(const char* name);
int WINAPI WSACleanup();

// Text files through the C runtime's streams, in the platform's text mode (CR LF on disk).
FILE* OpenTextFile(const char* path, const char* mode);
// A text file made new for writing (_open with _O_EXCL, as _fdopen "w"): nullptr when the name
// is taken already, whatever by.
FILE* CreateNewTextFile(const char* path);
// One line piece of at most size - 1 characters, as fgets; nullptr at the end or on an error.
char* ReadLinePiece(char* buffer, int size, FILE* file);
// Writes text as fputs; false when it was not written whole.
bool WriteText(const char* text, FILE* file);
bool AtEndOfFile(FILE* file);
// Closes the stream; false when buffered text could not be written out.
bool CloseTextFile(FILE* file);

// Durability: a file's data on disk, not only in the system's cache, before it takes the place
// of another file.
BOOL WINAPI FlushFileBuffers(HANDLE file);
// Writes out the stream's buffer and then has the system write the file to disk (_commit);
// false when either failed.
bool FlushTextFile(FILE* file);

// The account of a start for support (platform/account.h): where it goes, how large it has
// grown, its clock and its error texts.
DWORD WINAPI GetTempPathA(DWORD size, LPSTR buffer);
BOOL WINAPI GetFileAttributesExA(LPCSTR path, GET_FILEEX_INFO_LEVELS level, LPVOID information);
// Appends length bytes of text to the end of the file at path, made when missing, in one write,
// so that what several processes append at once never mixes. False when the file could not be
// opened or the text not written whole.
bool AppendToFile(const char* path, const char* text, DWORD length);
void WINAPI GetLocalTime(LPSYSTEMTIME time);
DWORD WINAPI GetTickCount();
DWORD WINAPI FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId,
                            LPSTR buffer, DWORD size, va_list* arguments);

// The process environment.
const char* GetEnvironmentText(const char* name);

}  // namespace platform

#endif
