#ifndef VTCONSOLE_TESTS_SUPPORT_FAULT_PLATFORM_H
#define VTCONSOLE_TESTS_SUPPORT_FAULT_PLATFORM_H

// Controls the test implementation of platform/platform.h. Every operation forwards to the real
// Win32 or C runtime call, except that
// - RemoveDirectoryA refuses to remove a read-only directory, with ERROR_ACCESS_DENIED, as
//   Windows does (Wine run as root removes it);
// and except where a test has asked for something else:
// - a failure of chosen calls of one operation, or of the n-th failable operation of a run,
//   with the last-error code the test names;
// - a module path other than the test program's own, narrow or wide;
// - a volume that keeps no short names;
// - process starts that are recorded instead of made;
// - a Sleep that is counted, never slept;
// - a message box that is recorded, never shown;
// - host names that resolve only when the test says so (no test ever sends a DNS query);
// - ExitProcess, which throws ProcessExit instead of ending the test program.
// Reset() undoes all that a test has asked for and forgets what was recorded.

#include <climits>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace fault {

enum class Op {
    GetModuleFileNameA, SetCurrentDirectoryA, CreateProcessA, WaitForSingleObject, CloseHandle,
    GetModuleFileNameW, Module32FirstW, GetShortPathNameW, WideCharToMultiByte,
    FindFirstFileA, FindNextFileA, GetFileAttributesA, SetFileAttributesA, CreateDirectoryA,
    RemoveDirectoryA, MoveFileExA, CopyFileA, DeleteFileA, CreateToolhelp32Snapshot,
    Process32First, Process32Next, Module32First, OpenProcess, QueryFullProcessImageNameW,
    RegCreateKeyA, RegQueryValueExA,
    RegSetValueExA, WSAStartup, gethostbyname, OpenTextFile, ReadLinePiece, WriteText,
    CloseTextFile, CreateFileA, GetFileIndex,
    FlushFileBuffers, FlushTextFile, CreateMutexA, ReleaseMutex, LCMapStringA,
    GetFileAttributesExA, AppendToFile, CreateNewTextFile,
    Count
};

// The name of the function that op stands for, as an account of a start names it.
const char* OperationName(Op op);

struct ProcessExit {
    unsigned exitCode;
};

struct ProcessStart {
    std::string commandLine;
    unsigned long creationFlags;
    bool inheritHandles;
    bool applicationNameGiven;
    unsigned long startupInfoSize;
};

struct MessageBoxCall {
    std::string text;
    bool ownerGiven;
    bool captionGiven;
    unsigned style;
};

void Reset();

// Calls number first, first + 1, ... first + count - 1 (counted from 1 since Reset) of op fail
// with error. Later rules for the same op replace earlier ones.
void FailCalls(Op op, unsigned first, unsigned count, unsigned long error);
void FailAlways(Op op, unsigned long error);
// The n-th failable operation of any kind since Reset fails with error; 0 turns this off.
void FailOperationNumber(unsigned n, unsigned long error);

unsigned Calls(Op op);
unsigned FailableOperations();  // every counted call since Reset, of any op
// Every counted call since Reset, in the order made.
const std::vector<Op>& CallOrder();

// Process32First and Process32Next report parentId as the parent in this process's own entry.
void SetParentProcessId(unsigned long parentId);

// The parent is a stand-in whose executable is executablePath: a module snapshot is a stand-in
// whose first module is that path, and OpenProcess gives a stand-in process whose image name
// QueryFullProcessImageNameW reports as that path, whatever process ID they are given. Their
// stand-in handles are accepted by CloseHandle. The process IDs that module snapshots were asked
// for, and the process IDs and access rights that OpenProcess was asked for, are recorded.
void StandInForParent(const std::string& executablePath);
const std::vector<unsigned long>& ModuleSnapshotProcessIds();
const std::vector<std::pair<unsigned long, unsigned long>>& OpenedProcesses();

// GetModuleFileNameA reports this path (copied as the real call would copy it) instead of the
// test program's own.
void SetModulePath(const std::string& path);

// Wide paths. A narrow module path also stands for its wide form, and a wide one for its own
// narrow form as the system makes it, with best-fit look-alikes for characters that the ANSI
// code page lacks. GetModuleFileNameW, Module32FirstW and QueryFullProcessImageNameW report the
// wide forms.
void SetModulePath(const std::wstring& path);
void StandInForParent(const std::wstring& executablePath);
// GetShortPathNameW gives back the long path, as on a volume without short names.
void SwitchOffShortNames();

// CreateProcessA records the start and reports success with stand-in handles, which
// WaitForSingleObject and CloseHandle accept, instead of starting anything.
void RecordProcessStarts();
const std::vector<ProcessStart>& ProcessStarts();
unsigned ClosedStandInHandles();
// What was done with the stand-in handles, in order: "wait process INFINITE" (or the time limit
// in milliseconds), "close process", "close thread", "close snapshot".
const std::vector<std::string>& StandInHandleEvents();

unsigned SleepCalls();
unsigned long SleptMilliseconds();

const std::vector<MessageBoxCall>& MessageBoxes();
// Runs hook while the message box would be open.
void OnMessageBox(std::function<void()> hook);

// The flags of every MoveFileExA call, in order.
const std::vector<unsigned long>& MoveFlags();

// Names that gethostbyname resolves from now on; every other name fails to resolve.
void ResolveHostNames(const std::vector<std::string>& names);
const std::vector<std::string>& LookedUpHostNames();

}  // namespace fault

#endif
