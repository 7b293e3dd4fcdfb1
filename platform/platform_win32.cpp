// Production platform: every operation goes straight to Win32 or the C runtime.

#include "platform/platform.h"

#include "platform/append_to_file.h"
#include "platform/file_index.h"
#include "platform/new_text_file.h"

#include <io.h>

#include <cstdlib>

namespace platform {

DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size)
{
    return ::GetModuleFileNameA(module, buffer, size);
}

BOOL WINAPI SetCurrentDirectoryA(LPCSTR path) { return ::SetCurrentDirectoryA(path); }
DWORD WINAPI GetLastError() { return ::GetLastError(); }
void WINAPI SetLastError(DWORD error) { ::SetLastError(error); }
void WINAPI Sleep(DWORD milliseconds) { ::Sleep(milliseconds); }

BOOL WINAPI CreateProcessA(LPCSTR applicationName, LPSTR commandLine,
                           LPSECURITY_ATTRIBUTES processAttributes,
                           LPSECURITY_ATTRIBUTES threadAttributes, BOOL inheritHandles,
                           DWORD creationFlags, LPVOID environment, LPCSTR currentDirectory,
                           LPSTARTUPINFOA startupInfo,
                           LPPROCESS_INFORMATION processInformation)
{
    return ::CreateProcessA(applicationName, commandLine, processAttributes, threadAttributes,
                            inheritHandles, creationFlags, environment, currentDirectory,
                            startupInfo, processInformation);
}

DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds)
{
    return ::WaitForSingleObject(handle, milliseconds);
}

BOOL WINAPI GetExitCodeProcess(HANDLE process, LPDWORD exitCode)
{
    return ::GetExitCodeProcess(process, exitCode);
}

BOOL WINAPI CloseHandle(HANDLE handle) { return ::CloseHandle(handle); }
void ExitProcess(UINT exitCode) { ::ExitProcess(exitCode); }
DWORD WINAPI GetCurrentProcessId() { return ::GetCurrentProcessId(); }

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style)
{
    // user32 is loaded only for the message of a failed start: loading it with the program,
    // with the window system it brings up, costs a start more than all of the launcher's own
    // work, and a start that succeeds never shows a window.
    using MessageBoxFunction = int(WINAPI*)(HWND, LPCSTR, LPCSTR, UINT);
    HMODULE user32 = ::LoadLibraryA("user32.dll");
    if (user32 == nullptr) return 0;
    const auto show = reinterpret_cast<MessageBoxFunction>(
        reinterpret_cast<void (*)()>(::GetProcAddress(user32, "MessageBoxA")));
    return show != nullptr ? show(owner, text, caption, style) : 0;
}

HANDLE WINAPI FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA findData)
{
    return ::FindFirstFileA(pattern, findData);
}

BOOL WINAPI FindNextFileA(HANDLE find, LPWIN32_FIND_DATAA findData)
{
    return ::FindNextFileA(find, findData);
}

BOOL WINAPI FindClose(HANDLE find) { return ::FindClose(find); }
DWORD WINAPI GetFileAttributesA(LPCSTR path) { return ::GetFileAttributesA(path); }

BOOL WINAPI SetFileAttributesA(LPCSTR path, DWORD attributes)
{
    return ::SetFileAttributesA(path, attributes);
}

BOOL WINAPI CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES securityAttributes)
{
    return ::CreateDirectoryA(path, securityAttributes);
}

BOOL WINAPI RemoveDirectoryA(LPCSTR path) { return ::RemoveDirectoryA(path); }

BOOL WINAPI MoveFileExA(LPCSTR existing, LPCSTR target, DWORD flags)
{
    return ::MoveFileExA(existing, target, flags);
}

BOOL WINAPI CopyFileA(LPCSTR existing, LPCSTR target, BOOL failIfExists)
{
    return ::CopyFileA(existing, target, failIfExists);
}

BOOL WINAPI DeleteFileA(LPCSTR path) { return ::DeleteFileA(path); }

HANDLE WINAPI CreateFileA(LPCSTR path, DWORD access, DWORD shareMode,
                          LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                          HANDLE templateFile)
{
    return ::CreateFileA(path, access, shareMode, security, disposition, flags, templateFile);
}

BOOL GetFileIndex(HANDLE file, ULONGLONG* index) { return GetFileIndexFromNtdll(file, index); }

HANDLE WINAPI CreateToolhelp32Snapshot(DWORD flags, DWORD processId)
{
    return ::CreateToolhelp32Snapshot(flags, processId);
}

BOOL WINAPI Process32First(HANDLE snapshot, LPPROCESSENTRY32 entry)
{
    return ::Process32First(snapshot, entry);
}

BOOL WINAPI Process32Next(HANDLE snapshot, LPPROCESSENTRY32 entry)
{
    return ::Process32Next(snapshot, entry);
}

BOOL WINAPI Module32First(HANDLE snapshot, LPMODULEENTRY32 entry)
{
    return ::Module32First(snapshot, entry);
}

HANDLE WINAPI OpenProcess(DWORD access, BOOL inheritHandle, DWORD processId)
{
    return ::OpenProcess(access, inheritHandle, processId);
}

BOOL WINAPI QueryFullProcessImageNameW(HANDLE process, DWORD flags, LPWSTR path, PDWORD size)
{
    return ::QueryFullProcessImageNameW(process, flags, path, size);
}

DWORD WINAPI GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size)
{
    return ::GetModuleFileNameW(module, buffer, size);
}

BOOL WINAPI Module32FirstW(HANDLE snapshot, LPMODULEENTRY32W entry)
{
    return ::Module32FirstW(snapshot, entry);
}

DWORD WINAPI GetShortPathNameW(LPCWSTR longPath, LPWSTR shortPath, DWORD size)
{
    return ::GetShortPathNameW(longPath, shortPath, size);
}

int WINAPI WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideLength,
                               LPSTR narrow, int narrowSize, LPCSTR defaultCharacter,
                               LPBOOL usedDefaultCharacter)
{
    return ::WideCharToMultiByte(codePage, flags, wide, wideLength, narrow, narrowSize,
                                 defaultCharacter, usedDefaultCharacter);
}

HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES securityAttributes, BOOL initialOwner, LPCSTR name)
{
    return ::CreateMutexA(securityAttributes, initialOwner, name);
}

BOOL WINAPI ReleaseMutex(HANDLE mutex) { return ::ReleaseMutex(mutex); }

int WINAPI LCMapStringA(LCID locale, DWORD flags, LPCSTR source, int sourceLength,
                        LPSTR destination, int destinationSize)
{
    return ::LCMapStringA(locale, flags, source, sourceLength, destination, destinationSize);
}

LONG WINAPI RegCreateKeyA(HKEY root, LPCSTR subKey, PHKEY result)
{
    return ::RegCreateKeyA(root, subKey, result);
}

LONG WINAPI RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type,
                             LPBYTE data, LPDWORD dataSize)
{
    return ::RegQueryValueExA(key, valueName, reserved, type, data, dataSize);
}

LONG WINAPI RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                           DWORD dataSize)
{
    return ::RegSetValueExA(key, valueName, reserved, type, data, dataSize);
}

LONG WINAPI RegCloseKey(HKEY key) { return ::RegCloseKey(key); }

int WINAPI WSAStartup(WORD version, LPWSADATA data) { return ::WSAStartup(version, data); }
hostent* WINAPI gethostbyname(const char* name) { return ::gethostbyname(name); }
int WINAPI WSACleanup() { return ::WSACleanup(); }

FILE* OpenTextFile(const char* path, const char* mode) { return std::fopen(path, mode); }
FILE* CreateNewTextFile(const char* path) { return CreateNewTextFileWithCrt(path); }

char* ReadLinePiece(char* buffer, int size, FILE* file)
{
    return std::fgets(buffer, size, file);
}

bool WriteText(const char* text, FILE* file) { return std::fputs(text, file) >= 0; }
bool AtEndOfFile(FILE* file) { return std::feof(file) != 0; }
bool CloseTextFile(FILE* file) { return std::fclose(file) == 0; }
BOOL WINAPI FlushFileBuffers(HANDLE file) { return ::FlushFileBuffers(file); }

bool FlushTextFile(FILE* file)
{
    return std::fflush(file) == 0 && _commit(_fileno(file)) == 0;
}

DWORD WINAPI GetTempPathA(DWORD size, LPSTR buffer) { return ::GetTempPathA(size, buffer); }

BOOL WINAPI GetFileAttributesExA(LPCSTR path, GET_FILEEX_INFO_LEVELS level, LPVOID information)
{
    return ::GetFileAttributesExA(path, level, information);
}

bool AppendToFile(const char* path, const char* text, DWORD length)
{
    return AppendToFileWithWin32(path, text, length);
}

void WINAPI GetLocalTime(LPSYSTEMTIME time) { ::GetLocalTime(time); }
DWORD WINAPI GetTickCount() { return ::GetTickCount(); }

DWORD WINAPI FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId,
                            LPSTR buffer, DWORD size, va_list* arguments)
{
    return ::FormatMessageA(flags, source, messageId, languageId, buffer, size, arguments);
}

const char* GetEnvironmentText(const char* name) { return std::getenv(name); }

}  // namespace platform
