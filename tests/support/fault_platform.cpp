// Test implementation of platform/platform.h; see fault_platform.h.

#include "tests/support/fault_platform.h"

#include "platform/append_to_file.h"
#include "platform/new_text_file.h"
#include "platform/file_index.h"

#include <io.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace fault {
namespace {

struct Rule {
    unsigned first = 0;
    unsigned count = 0;
    unsigned long error = 0;
};

struct State {
    unsigned calls[static_cast<int>(Op::Count)] = {};
    Rule rules[static_cast<int>(Op::Count)] = {};
    unsigned operations = 0;
    unsigned failOperation = 0;
    unsigned long failOperationError = 0;
    std::string modulePath;
    bool recordStarts = false;
    std::vector<ProcessStart> starts;
    unsigned closedStandIns = 0;
    std::vector<std::string> standInEvents;
    std::vector<Op> callOrder;
    bool parentGiven = false;
    DWORD parentId = 0;
    bool standInParent = false;
    std::string moduleExecutablePath;
    std::vector<unsigned long> moduleSnapshotIds;
    std::vector<std::pair<unsigned long, unsigned long>> openedProcesses;
    unsigned sleeps = 0;
    unsigned long slept = 0;
    std::vector<MessageBoxCall> messageBoxes;
    std::function<void()> onMessageBox;
    std::vector<std::string> resolvable;
    std::vector<std::string> lookedUp;
    std::vector<unsigned long> moveFlags;
};

State& TheState()
{
    static State state;
    return state;
}

// The wide module paths, where a test gave them; otherwise the narrow ones stand for them too.
struct WideState {
    std::wstring modulePath;
    std::wstring moduleExecutablePath;
    bool shortNamesOff = false;
};

WideState& TheWideState()
{
    static WideState state;
    return state;
}

std::wstring Widen(const std::string& narrow)
{
    std::wstring wide(narrow.size(), L'\0');
    const int length = ::MultiByteToWideChar(CP_ACP, 0, narrow.data(),
                                             static_cast<int>(narrow.size()), &wide[0],
                                             static_cast<int>(wide.size()));
    wide.resize(static_cast<std::size_t>(length));
    return wide;
}

// As the system makes a narrow path: best-fit look-alikes, '?' where there is none.
std::string Narrow(const std::wstring& wide)
{
    std::string narrow(wide.size() * 4, '\0');
    const int length = ::WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()),
                                             &narrow[0], static_cast<int>(narrow.size()),
                                             nullptr, nullptr);
    narrow.resize(static_cast<std::size_t>(length));
    return narrow;
}

// The stand-in parent's executable path, wide.
std::wstring StandInParentPath()
{
    const WideState& w = TheWideState();
    return w.moduleExecutablePath.empty() ? Widen(TheState().moduleExecutablePath)
                                          : w.moduleExecutablePath;
}

// Stand-in handles of recorded process starts: odd values that no real handle has.
HANDLE const STAND_IN_PROCESS = reinterpret_cast<HANDLE>(0x7ff1);
HANDLE const STAND_IN_THREAD = reinterpret_cast<HANDLE>(0x7ff3);
HANDLE const STAND_IN_SNAPSHOT = reinterpret_cast<HANDLE>(0x7ff5);
HANDLE const STAND_IN_PARENT = reinterpret_cast<HANDLE>(0x7ff7);

bool IsStandIn(HANDLE handle)
{
    return handle == STAND_IN_PROCESS || handle == STAND_IN_THREAD ||
           handle == STAND_IN_SNAPSHOT || handle == STAND_IN_PARENT;
}

const char* StandInKind(HANDLE handle)
{
    if (handle == STAND_IN_PROCESS) return "process";
    if (handle == STAND_IN_PARENT) return "parent";
    return handle == STAND_IN_THREAD ? "thread" : "snapshot";
}

BOOL ReportParent(BOOL read, LPPROCESSENTRY32 entry)
{
    const State& s = TheState();
    if (read && s.parentGiven && entry->th32ProcessID == ::GetCurrentProcessId()) {
        entry->th32ParentProcessID = s.parentId;
    }
    return read;
}

// Counts a call of op and tells whether it must fail; when it must, the thread's last-error
// code is set as the real call would set it.
bool Fails(Op op)
{
    State& s = TheState();
    const int i = static_cast<int>(op);
    const unsigned call = ++s.calls[i];
    ++s.operations;
    s.callOrder.push_back(op);
    unsigned long error = 0;
    bool fail = false;
    const Rule& rule = s.rules[i];
    if (rule.count != 0 && call >= rule.first && call - rule.first < rule.count) {
        fail = true;
        error = rule.error;
    }
    if (s.failOperation != 0 && s.operations == s.failOperation) {
        fail = true;
        error = s.failOperationError;
    }
    if (fail) ::SetLastError(static_cast<DWORD>(error));
    return fail;
}

}  // namespace

void Reset()
{
    TheState() = State();
    TheWideState() = WideState();
}

void FailCalls(Op op, unsigned first, unsigned count, unsigned long error)
{
    TheState().rules[static_cast<int>(op)] = Rule{first, count, error};
}

void FailAlways(Op op, unsigned long error) { FailCalls(op, 1, UINT_MAX, error); }

void FailOperationNumber(unsigned n, unsigned long error)
{
    TheState().failOperation = n;
    TheState().failOperationError = error;
}

const char* OperationName(Op op)
{
    // In the order of Op; the text-file operations by the C runtime function each stands for.
    static const char* const names[] = {
        "GetModuleFileNameA", "SetCurrentDirectoryA", "CreateProcessA", "WaitForSingleObject",
        "CloseHandle", "GetModuleFileNameW", "Module32FirstW", "GetShortPathNameW",
        "WideCharToMultiByte", "FindFirstFileA", "FindNextFileA", "GetFileAttributesA",
        "SetFileAttributesA", "CreateDirectoryA", "RemoveDirectoryA", "MoveFileExA", "CopyFileA",
        "DeleteFileA", "CreateToolhelp32Snapshot", "Process32First", "Process32Next",
        "Module32First", "OpenProcess", "QueryFullProcessImageNameW", "RegCreateKeyA",
        "RegQueryValueExA", "RegSetValueExA", "WSAStartup", "gethostbyname", "fopen", "fgets",
        "fputs", "fclose", "CreateFileA", "NtQueryInformationFile", "FlushFileBuffers",
        "_commit", "CreateMutexA", "ReleaseMutex", "LCMapStringA", "GetFileAttributesExA",
        "AppendToFile", "_open"};
    static_assert(sizeof names / sizeof names[0] == static_cast<int>(Op::Count), "every name");
    return names[static_cast<int>(op)];
}

unsigned Calls(Op op) { return TheState().calls[static_cast<int>(op)]; }
unsigned FailableOperations() { return TheState().operations; }
const std::vector<Op>& CallOrder() { return TheState().callOrder; }

void StandInForParent(const std::string& executablePath)
{
    TheWideState().moduleExecutablePath.clear();
    TheState().standInParent = true;
    TheState().moduleExecutablePath = executablePath;
}

const std::vector<unsigned long>& ModuleSnapshotProcessIds()
{
    return TheState().moduleSnapshotIds;
}

const std::vector<std::pair<unsigned long, unsigned long>>& OpenedProcesses()
{
    return TheState().openedProcesses;
}

void SetParentProcessId(unsigned long parentId)
{
    TheState().parentGiven = true;
    TheState().parentId = parentId;
}
void SetModulePath(const std::string& path)
{
    TheWideState().modulePath.clear();
    TheState().modulePath = path;
}
void RecordProcessStarts() { TheState().recordStarts = true; }
const std::vector<ProcessStart>& ProcessStarts() { return TheState().starts; }
unsigned ClosedStandInHandles() { return TheState().closedStandIns; }
const std::vector<std::string>& StandInHandleEvents() { return TheState().standInEvents; }
unsigned SleepCalls() { return TheState().sleeps; }
unsigned long SleptMilliseconds() { return TheState().slept; }
const std::vector<MessageBoxCall>& MessageBoxes() { return TheState().messageBoxes; }
void OnMessageBox(std::function<void()> hook) { TheState().onMessageBox = std::move(hook); }
void ResolveHostNames(const std::vector<std::string>& names) { TheState().resolvable = names; }
const std::vector<std::string>& LookedUpHostNames() { return TheState().lookedUp; }
const std::vector<unsigned long>& MoveFlags() { return TheState().moveFlags; }

void SetModulePath(const std::wstring& path)
{
    SetModulePath(Narrow(path));
    TheWideState().modulePath = path;
}

void StandInForParent(const std::wstring& executablePath)
{
    StandInForParent(Narrow(executablePath));
    TheWideState().moduleExecutablePath = executablePath;
}

void SwitchOffShortNames() { TheWideState().shortNamesOff = true; }

}  // namespace fault

namespace platform {

using fault::Fails;
using fault::Op;
using fault::TheState;

DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size)
{
    if (Fails(Op::GetModuleFileNameA)) return 0;
    const std::string& path = TheState().modulePath;
    if (path.empty()) return ::GetModuleFileNameA(module, buffer, size);
    // As Win32 does: a path that does not fit is cut to size characters, without terminator
    // on older systems, and the result is size.
    const DWORD length = static_cast<DWORD>(path.size());
    if (length >= size) {
        std::memcpy(buffer, path.data(), size);
        buffer[size - 1] = '\0';
        ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    std::memcpy(buffer, path.c_str(), length + 1);
    return length;
}

BOOL WINAPI SetCurrentDirectoryA(LPCSTR path)
{
    return Fails(Op::SetCurrentDirectoryA) ? FALSE : ::SetCurrentDirectoryA(path);
}

DWORD WINAPI GetLastError() { return ::GetLastError(); }
void WINAPI SetLastError(DWORD error) { ::SetLastError(error); }

void WINAPI Sleep(DWORD milliseconds)
{
    ++TheState().sleeps;
    TheState().slept += milliseconds;
}

BOOL WINAPI CreateProcessA(LPCSTR applicationName, LPSTR commandLine,
                           LPSECURITY_ATTRIBUTES processAttributes,
                           LPSECURITY_ATTRIBUTES threadAttributes, BOOL inheritHandles,
                           DWORD creationFlags, LPVOID environment, LPCSTR currentDirectory,
                           LPSTARTUPINFOA startupInfo,
                           LPPROCESS_INFORMATION processInformation)
{
    if (Fails(Op::CreateProcessA)) return FALSE;
    if (!TheState().recordStarts) {
        return ::CreateProcessA(applicationName, commandLine, processAttributes, threadAttributes,
                                inheritHandles, creationFlags, environment, currentDirectory,
                                startupInfo, processInformation);
    }
    TheState().starts.push_back(fault::ProcessStart{
        commandLine ? commandLine : "", creationFlags, inheritHandles != FALSE,
        applicationName != nullptr, startupInfo ? startupInfo->cb : 0});
    processInformation->hProcess = fault::STAND_IN_PROCESS;
    processInformation->hThread = fault::STAND_IN_THREAD;
    processInformation->dwProcessId = 0x7ff0;
    processInformation->dwThreadId = 0x7ff4;
    return TRUE;
}

DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds)
{
    if (Fails(Op::WaitForSingleObject)) return WAIT_FAILED;
    if (fault::IsStandIn(handle)) {
        TheState().standInEvents.push_back(
            std::string("wait ") + fault::StandInKind(handle) + " " +
            (milliseconds == INFINITE ? std::string("INFINITE") : std::to_string(milliseconds)));
        return WAIT_OBJECT_0;
    }
    return ::WaitForSingleObject(handle, milliseconds);
}

BOOL WINAPI GetExitCodeProcess(HANDLE process, LPDWORD exitCode)
{
    if (process != fault::STAND_IN_PROCESS) return ::GetExitCodeProcess(process, exitCode);
    *exitCode = 0;
    return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE handle)
{
    // A close that reports failure has let go of the handle all the same, as a real one does;
    // a test that kept it open would see files held that no real run holds.
    const bool fails = Fails(Op::CloseHandle);
    BOOL closed = TRUE;
    if (fault::IsStandIn(handle)) {
        ++TheState().closedStandIns;
        TheState().standInEvents.push_back(std::string("close ") + fault::StandInKind(handle));
    } else {
        closed = ::CloseHandle(handle);
    }
    return fails ? FALSE : closed;
}

void ExitProcess(UINT exitCode) { throw fault::ProcessExit{exitCode}; }
DWORD WINAPI GetCurrentProcessId() { return ::GetCurrentProcessId(); }

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style)
{
    TheState().messageBoxes.push_back(
        fault::MessageBoxCall{text ? text : "", owner != nullptr, caption != nullptr, style});
    if (TheState().onMessageBox) TheState().onMessageBox();
    return IDOK;
}

HANDLE WINAPI FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA findData)
{
    return Fails(Op::FindFirstFileA) ? INVALID_HANDLE_VALUE : ::FindFirstFileA(pattern, findData);
}

BOOL WINAPI FindNextFileA(HANDLE find, LPWIN32_FIND_DATAA findData)
{
    return Fails(Op::FindNextFileA) ? FALSE : ::FindNextFileA(find, findData);
}

BOOL WINAPI FindClose(HANDLE find) { return ::FindClose(find); }

DWORD WINAPI GetFileAttributesA(LPCSTR path)
{
    return Fails(Op::GetFileAttributesA) ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesA(path);
}

BOOL WINAPI SetFileAttributesA(LPCSTR path, DWORD attributes)
{
    return Fails(Op::SetFileAttributesA) ? FALSE : ::SetFileAttributesA(path, attributes);
}

BOOL WINAPI CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES securityAttributes)
{
    return Fails(Op::CreateDirectoryA) ? FALSE : ::CreateDirectoryA(path, securityAttributes);
}

BOOL WINAPI RemoveDirectoryA(LPCSTR path)
{
    if (Fails(Op::RemoveDirectoryA)) return FALSE;
    // Windows refuses to remove a read-only directory; Wine run as root removes it.
    const DWORD attributes = ::GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return ::RemoveDirectoryA(path);
}

BOOL WINAPI MoveFileExA(LPCSTR existing, LPCSTR target, DWORD flags)
{
    TheState().moveFlags.push_back(flags);
    return Fails(Op::MoveFileExA) ? FALSE : ::MoveFileExA(existing, target, flags);
}

BOOL WINAPI CopyFileA(LPCSTR existing, LPCSTR target, BOOL failIfExists)
{
    return Fails(Op::CopyFileA) ? FALSE : ::CopyFileA(existing, target, failIfExists);
}

BOOL WINAPI DeleteFileA(LPCSTR path)
{
    return Fails(Op::DeleteFileA) ? FALSE : ::DeleteFileA(path);
}

HANDLE WINAPI CreateFileA(LPCSTR path, DWORD access, DWORD shareMode,
                          LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                          HANDLE templateFile)
{
    if (Fails(Op::CreateFileA)) return INVALID_HANDLE_VALUE;
    return ::CreateFileA(path, access, shareMode, security, disposition, flags, templateFile);
}

BOOL GetFileIndex(HANDLE file, ULONGLONG* index)
{
    return Fails(Op::GetFileIndex) ? FALSE : GetFileIndexFromNtdll(file, index);
}

HANDLE WINAPI CreateToolhelp32Snapshot(DWORD flags, DWORD processId)
{
    fault::State& s = TheState();
    if (flags & TH32CS_SNAPMODULE) s.moduleSnapshotIds.push_back(processId);
    if (Fails(Op::CreateToolhelp32Snapshot)) return INVALID_HANDLE_VALUE;
    if ((flags & TH32CS_SNAPMODULE) && s.standInParent) return fault::STAND_IN_SNAPSHOT;
    return ::CreateToolhelp32Snapshot(flags, processId);
}

BOOL WINAPI Process32First(HANDLE snapshot, LPPROCESSENTRY32 entry)
{
    if (Fails(Op::Process32First)) return FALSE;
    return fault::ReportParent(::Process32First(snapshot, entry), entry);
}

BOOL WINAPI Process32Next(HANDLE snapshot, LPPROCESSENTRY32 entry)
{
    if (Fails(Op::Process32Next)) return FALSE;
    return fault::ReportParent(::Process32Next(snapshot, entry), entry);
}

BOOL WINAPI Module32First(HANDLE snapshot, LPMODULEENTRY32 entry)
{
    if (Fails(Op::Module32First)) return FALSE;
    if (snapshot != fault::STAND_IN_SNAPSHOT) return ::Module32First(snapshot, entry);
    // As Win32 fills the record: the path, cut to the field and always terminated.
    const std::string& path = TheState().moduleExecutablePath;
    const std::size_t length = std::min(path.size(), sizeof entry->szExePath - 1);
    std::memcpy(entry->szExePath, path.data(), length);
    entry->szExePath[length] = '\0';
    return TRUE;
}

HANDLE WINAPI OpenProcess(DWORD access, BOOL inheritHandle, DWORD processId)
{
    TheState().openedProcesses.emplace_back(processId, access);
    if (Fails(Op::OpenProcess)) return nullptr;
    if (TheState().standInParent) return fault::STAND_IN_PARENT;
    return ::OpenProcess(access, inheritHandle, processId);
}

BOOL WINAPI QueryFullProcessImageNameW(HANDLE process, DWORD flags, LPWSTR path, PDWORD size)
{
    if (Fails(Op::QueryFullProcessImageNameW)) return FALSE;
    if (process != fault::STAND_IN_PARENT) {
        return ::QueryFullProcessImageNameW(process, flags, path, size);
    }
    // As Win32 does: the path whole or nothing, and its length without the terminator.
    const std::wstring image = fault::StandInParentPath();
    if (image.size() >= *size) {
        ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::wmemcpy(path, image.c_str(), image.size() + 1);
    *size = static_cast<DWORD>(image.size());
    return TRUE;
}

DWORD WINAPI GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size)
{
    if (Fails(Op::GetModuleFileNameW)) return 0;
    const fault::WideState& w = fault::TheWideState();
    const std::string& narrow = TheState().modulePath;
    if (w.modulePath.empty() && narrow.empty()) return ::GetModuleFileNameW(module, buffer, size);
    const std::wstring path = w.modulePath.empty() ? fault::Widen(narrow) : w.modulePath;
    // Cut as GetModuleFileNameA cuts.
    const DWORD length = static_cast<DWORD>(path.size());
    if (length >= size) {
        std::wmemcpy(buffer, path.data(), size);
        buffer[size - 1] = L'\0';
        ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    std::wmemcpy(buffer, path.c_str(), length + 1);
    return length;
}

BOOL WINAPI Module32FirstW(HANDLE snapshot, LPMODULEENTRY32W entry)
{
    if (Fails(Op::Module32FirstW)) return FALSE;
    if (snapshot != fault::STAND_IN_SNAPSHOT) return ::Module32FirstW(snapshot, entry);
    const std::wstring path = fault::StandInParentPath();
    const std::size_t room = sizeof entry->szExePath / sizeof entry->szExePath[0];
    const std::size_t length = std::min(path.size(), room - 1);
    std::wmemcpy(entry->szExePath, path.data(), length);
    entry->szExePath[length] = L'\0';
    return TRUE;
}

DWORD WINAPI GetShortPathNameW(LPCWSTR longPath, LPWSTR shortPath, DWORD size)
{
    if (Fails(Op::GetShortPathNameW)) return 0;
    if (!fault::TheWideState().shortNamesOff) return ::GetShortPathNameW(longPath, shortPath, size);
    // What Win32 gives where no component has a short name: the path as it is, or the room
    // that it needs.
    const DWORD length = static_cast<DWORD>(std::wcslen(longPath));
    if (length >= size) return length + 1;
    std::wmemcpy(shortPath, longPath, length + 1);
    return length;
}

int WINAPI WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideLength,
                               LPSTR narrow, int narrowSize, LPCSTR defaultCharacter,
                               LPBOOL usedDefaultCharacter)
{
    if (Fails(Op::WideCharToMultiByte)) return 0;
    return ::WideCharToMultiByte(codePage, flags, wide, wideLength, narrow, narrowSize,
                                 defaultCharacter, usedDefaultCharacter);
}

HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES securityAttributes, BOOL initialOwner, LPCSTR name)
{
    if (Fails(Op::CreateMutexA)) return nullptr;
    return ::CreateMutexA(securityAttributes, initialOwner, name);
}

BOOL WINAPI ReleaseMutex(HANDLE mutex)
{
    return Fails(Op::ReleaseMutex) ? FALSE : ::ReleaseMutex(mutex);
}

int WINAPI LCMapStringA(LCID locale, DWORD flags, LPCSTR source, int sourceLength,
                        LPSTR destination, int destinationSize)
{
    if (Fails(Op::LCMapStringA)) return 0;
    return ::LCMapStringA(locale, flags, source, sourceLength, destination, destinationSize);
}

LONG WINAPI RegCreateKeyA(HKEY root, LPCSTR subKey, PHKEY result)
{
    if (Fails(Op::RegCreateKeyA)) return static_cast<LONG>(::GetLastError());
    return ::RegCreateKeyA(root, subKey, result);
}

LONG WINAPI RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type,
                             LPBYTE data, LPDWORD dataSize)
{
    if (Fails(Op::RegQueryValueExA)) return static_cast<LONG>(::GetLastError());
    return ::RegQueryValueExA(key, valueName, reserved, type, data, dataSize);
}

LONG WINAPI RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                           DWORD dataSize)
{
    if (Fails(Op::RegSetValueExA)) return static_cast<LONG>(::GetLastError());
    return ::RegSetValueExA(key, valueName, reserved, type, data, dataSize);
}

LONG WINAPI RegCloseKey(HKEY key) { return ::RegCloseKey(key); }

int WINAPI WSAStartup(WORD version, LPWSADATA data)
{
    if (Fails(Op::WSAStartup)) return static_cast<int>(::GetLastError());
    return ::WSAStartup(version, data);
}

hostent* WINAPI gethostbyname(const char* name)
{
    fault::State& s = TheState();
    s.lookedUp.push_back(name);
    if (Fails(Op::gethostbyname)) return nullptr;
    if (std::find(s.resolvable.begin(), s.resolvable.end(), name) == s.resolvable.end()) {
        ::SetLastError(WSAHOST_NOT_FOUND);
        return nullptr;
    }
    // Callers only look at whether there is an answer, never into it.
    static hostent answer = {};
    return &answer;
}

int WINAPI WSACleanup() { return ::WSACleanup(); }

FILE* OpenTextFile(const char* path, const char* mode)
{
    return Fails(Op::OpenTextFile) ? nullptr : std::fopen(path, mode);
}

FILE* CreateNewTextFile(const char* path)
{
    return Fails(Op::CreateNewTextFile) ? nullptr : CreateNewTextFileWithCrt(path);
}

char* ReadLinePiece(char* buffer, int size, FILE* file)
{
    return Fails(Op::ReadLinePiece) ? nullptr : std::fgets(buffer, size, file);
}

bool WriteText(const char* text, FILE* file)
{
    return Fails(Op::WriteText) ? false : std::fputs(text, file) >= 0;
}

bool AtEndOfFile(FILE* file) { return std::feof(file) != 0; }

bool CloseTextFile(FILE* file)
{
    // The stream is closed either way, as a real close that fails to flush still closes it.
    const bool closed = std::fclose(file) == 0;
    return Fails(Op::CloseTextFile) ? false : closed;
}

BOOL WINAPI FlushFileBuffers(HANDLE file)
{
    return Fails(Op::FlushFileBuffers) ? FALSE : ::FlushFileBuffers(file);
}

bool FlushTextFile(FILE* file)
{
    return Fails(Op::FlushTextFile) ? false : std::fflush(file) == 0 && _commit(_fileno(file)) == 0;
}

DWORD WINAPI GetTempPathA(DWORD size, LPSTR buffer) { return ::GetTempPathA(size, buffer); }

BOOL WINAPI GetFileAttributesExA(LPCSTR path, GET_FILEEX_INFO_LEVELS level, LPVOID information)
{
    if (Fails(Op::GetFileAttributesExA)) return FALSE;
    return ::GetFileAttributesExA(path, level, information);
}

bool AppendToFile(const char* path, const char* text, DWORD length)
{
    return !Fails(Op::AppendToFile) && AppendToFileWithWin32(path, text, length);
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
