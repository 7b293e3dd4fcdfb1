#include "install/install_mode.h"

#include <cstring>
#include <cwchar>

#include "install/import_path.h"
#include "platform/account.h"
#include "platform/faithful_path.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace {

// The installer's configuration files that install mode takes over, in this order. Each name is
// also the whole destination: the bare name in the current directory, not a file below conf.
const char* const INSTALL_IMPORT_FILES[] = {"services.xml", "connections.xml", nullptr};

constexpr char SETUP_COMMAND_LINE[] = ".\\Setup.exe";

// The records of the narrow calls, which fail when given the larger wide ones; the wide module
// entry goes to Module32FirstW alone.
static_assert(sizeof(PROCESSENTRY32) == 296, "the narrow 32-bit process entry");
static_assert(sizeof(MODULEENTRY32) == 548, "the narrow 32-bit module entry");
static_assert(sizeof(MODULEENTRY32W) == 1064, "the wide 32-bit module entry");

enum class ParentLookup { NoSnapshot, NotFound, Found };

// Finds this process's entry in a snapshot of all processes and reads its parent's ID. The
// snapshot is closed before this returns, so that no two snapshots are ever open at once.
ParentLookup FindParentProcessId(DWORD* parentId)
{
    const DWORD ownId = platform::GetCurrentProcessId();
    HANDLE snapshot = platform::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        ReportFailure("no process list, Setup not run: CreateToolhelp32Snapshot");
        return ParentLookup::NoSnapshot;
    }

    PROCESSENTRY32 entry;
    std::memset(&entry, 0, sizeof entry);
    entry.dwSize = sizeof entry;
    ParentLookup result = ParentLookup::NotFound;
    for (BOOL read = platform::Process32First(snapshot, &entry); read;
         read = platform::Process32Next(snapshot, &entry)) {
        if (entry.th32ProcessID == ownId) {
            *parentId = entry.th32ParentProcessID;
            result = ParentLookup::Found;
            break;
        }
    }
    if (result == ParentLookup::Found) {
        Report("installer: process %lu", static_cast<unsigned long>(*parentId));
    } else {
        ReportFailure("own process not in the process list: Process32First or Process32Next");
    }
    platform::CloseHandle(snapshot);
    return result;
}

enum class ModuleEntry { Unreadable, PathRead, NoFaithfulPath };

// Writes the path of the snapshot's first module into the MAX_PATH bytes of source: the narrow
// entry's, or its short form where that names another folder (see faithful_path.h). Unreadable
// where no whole entry can be read; NoFaithfulPath where no narrow path names the executable.
// The entries' path fields are read only when they hold a terminator, so no copy can run past a
// record.
ModuleEntry ReadParentPath(HANDLE snapshot, char* source)
{
    MODULEENTRY32 module;
    std::memset(&module, 0, sizeof module);
    module.dwSize = sizeof module;
    // A process's first module is its executable.
    if (!platform::Module32First(snapshot, &module)) {
        ReportFailure("installer's module list not read: Module32First");
        return ModuleEntry::Unreadable;
    }
    if (std::memchr(module.szExePath, '\0', sizeof module.szExePath) == nullptr ||
        !JoinText(source, MAX_PATH, module.szExePath, "")) {
        return ModuleEntry::Unreadable;
    }

    MODULEENTRY32W wideModule;
    std::memset(&wideModule, 0, sizeof wideModule);
    wideModule.dwSize = sizeof wideModule;
    if (!platform::Module32FirstW(snapshot, &wideModule)) {
        ReportFailure("installer's module list not read: Module32FirstW");
        return ModuleEntry::Unreadable;
    }
    const std::size_t wideRoom = sizeof wideModule.szExePath / sizeof wideModule.szExePath[0];
    if (std::wmemchr(wideModule.szExePath, L'\0', wideRoom) == nullptr) {
        return ModuleEntry::Unreadable;
    }
    return EnsureFaithfulPath(source, wideModule.szExePath) ? ModuleEntry::PathRead
                                                            : ModuleEntry::NoFaithfulPath;
}

// Asks the parent process itself for its executable path, for where its module list cannot be
// read (a 32-bit process cannot read a 64-bit one's). Writes it into the MAX_PATH bytes of source
// under the same rule as the module's path.
bool ReadParentImagePath(DWORD parentId, char* source)
{
    HANDLE parent = platform::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, parentId);
    if (parent == nullptr) {
        ReportFailure("installer's path not read: OpenProcess");
        return false;
    }
    WCHAR image[MAX_PATH];
    DWORD length = MAX_PATH;
    const BOOL read = platform::QueryFullProcessImageNameW(parent, 0, image, &length);
    if (!read) {
        ReportFailure("installer's path not read: QueryFullProcessImageNameW");
    }
    platform::CloseHandle(parent);
    return read && WriteFaithfulPath(source, image);
}

// Copies each of INSTALL_IMPORT_FILES that lies beside the executable named in source into the
// current directory, unless a file of that name is there already. Every failure just leaves a
// name uncopied.
void CopyInstallerFiles(char* source)
{
    for (const char* const* name = INSTALL_IMPORT_FILES; *name != nullptr; ++name) {
        // A name that does not fit after the parent's directory is skipped, not cut.
        if (!PlaceFileName(source, MAX_PATH, *name)) {
            Report("%s not taken over: path too long", *name);
        } else if (platform::CopyFileA(source, *name, TRUE)) {  // never replaces an existing file
            Report("%s taken over from %s", *name, source);
        } else {
            ReportFailure("%s not taken over: CopyFileA %s", *name, source);
        }
    }
}

// Takes over the files beside the parent's executable. Its path comes from the parent's module
// list, whose snapshot stays open until the copies are done, or, where no module entry can be
// read, from the parent process itself.
void ImportInstallerFiles(DWORD parentId)
{
    char source[MAX_PATH];
    ModuleEntry entry = ModuleEntry::Unreadable;
    HANDLE snapshot = platform::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, parentId);
    if (snapshot != INVALID_HANDLE_VALUE) {
        entry = ReadParentPath(snapshot, source);
        if (entry == ModuleEntry::PathRead) {
            Report("installer: %s, from its module list", source);
            CopyInstallerFiles(source);
        }
        platform::CloseHandle(snapshot);
    } else {
        ReportFailure("installer's module list not read: CreateToolhelp32Snapshot");
    }
    if (entry == ModuleEntry::Unreadable && ReadParentImagePath(parentId, source)) {
        Report("installer: %s, asked of the process", source);
        CopyInstallerFiles(source);
    }
}

// Runs .\Setup.exe in this process's group and waits for it without a time limit. Its exit code
// is not read; a setup program that cannot be started is not reported.
void RunSetupProgram()
{
    // CreateProcessA may write into the command line, so it gets a copy of its own.
    char commandLine[sizeof SETUP_COMMAND_LINE];
    std::memcpy(commandLine, SETUP_COMMAND_LINE, sizeof commandLine);

    STARTUPINFOA startupInfo = {};
    PROCESS_INFORMATION processInformation = {};
    startupInfo.cb = sizeof startupInfo;
    if (!platform::CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr,
                                  nullptr, &startupInfo, &processInformation)) {
        ReportFailure("not run: CreateProcessA %s", SETUP_COMMAND_LINE);
        return;
    }
    Report("started %s (process %lu)", SETUP_COMMAND_LINE,
           static_cast<unsigned long>(processInformation.dwProcessId));
    const DWORD started = AccountClock();
    if (platform::WaitForSingleObject(processInformation.hProcess, INFINITE) == WAIT_FAILED) {
        ReportFailure("not waited for: WaitForSingleObject %s", SETUP_COMMAND_LINE);
    } else if (AccountOn()) {
        DWORD exitCode = 0;
        if (platform::GetExitCodeProcess(processInformation.hProcess, &exitCode)) {
            Report("%s ended with exit code %lu after %lu ms", SETUP_COMMAND_LINE,
                   static_cast<unsigned long>(exitCode),
                   static_cast<unsigned long>(AccountClock() - started));
        }
    }
    platform::CloseHandle(processInformation.hProcess);
    platform::CloseHandle(processInformation.hThread);
}

}  // namespace

void RunInstallMode()
{
    DWORD parentId = 0;
    const ParentLookup lookup = FindParentProcessId(&parentId);
    // Without a process list nothing is known about the installer: Setup is not run either.
    if (lookup == ParentLookup::NoSnapshot) return;
    if (lookup == ParentLookup::Found) ImportInstallerFiles(parentId);
    RunSetupProgram();
}
