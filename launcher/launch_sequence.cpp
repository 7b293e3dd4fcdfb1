#include "launcher/launch_sequence.h"

#include <cstring>

#include "config/connections.h"
#include "config/registry_defaults.h"
#include "install/install_mode.h"
#include "platform/account.h"
#include "launcher/client.h"
#include "platform/faithful_path.h"
#include "launcher/installation_lock.h"
#include "platform/platform.h"
#include "platform/process_start.h"
#include "platform/text.h"
#include "update/patch_tree.h"
#include "update/update_stage.h"

namespace {

constexpr char UPDATE_SCRIPT[] = "update.bat";
constexpr char INSTALL_OPTION[] = "--install";

static_assert(sizeof CLIENT_COMMAND_LINE <= MAX_PATH, "the client's command line fits a path buffer");
static_assert(UPDATE_REPLACE_ATTEMPTS * UPDATE_RETRY_DELAY_MS >= INSTALLATION_LOCK_WAIT_MS,
              "the updater copy waits for a start of the old launcher as long as starts wait "
              "for each other");

// The account's last line explains the message; it is written before the message is shown,
// which may stay open for as long as the user leaves it.
int FailStart(const char* why)
{
    ReportExit(1, FAILURE_MESSAGE, why);
    platform::MessageBoxA(nullptr, FAILURE_MESSAGE, nullptr, MB_OK);
    return 1;
}

// An existence test that leaves its search handle open for the caller to close.
HANDLE FindEntry(const char* name)
{
    WIN32_FIND_DATAA probe;
    HANDLE found = platform::FindFirstFileA(name, &probe);
    if (found == INVALID_HANDLE_VALUE && AccountOn()) {
        const DWORD error = platform::GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
            ReportFailure("taken as absent: FindFirstFileA %s", name);
        }
    }
    return found;
}

bool EntryExists(const char* name)
{
    HANDLE found = FindEntry(name);
    if (found == INVALID_HANDLE_VALUE) return false;
    platform::FindClose(found);
    return true;
}

// The executable's own path, in the MAX_PATH bytes of path: as GetModuleFileNameA gives it, or
// its short form where that names another folder (see faithful_path.h).
bool ReadExecutablePath(char* path)
{
    const DWORD length = platform::GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0) ReportFailure("own path not read: GetModuleFileNameA");
    if (length >= MAX_PATH) Report("own path longer than %d characters", MAX_PATH - 1);
    if (length == 0 || length >= MAX_PATH) return false;
    WCHAR wide[MAX_PATH];
    const DWORD wideLength = platform::GetModuleFileNameW(nullptr, wide, MAX_PATH);
    if (wideLength == 0) ReportFailure("own path not read: GetModuleFileNameW");
    if (wideLength >= MAX_PATH) Report("own path longer than %d characters", MAX_PATH - 1);
    if (wideLength == 0 || wideLength >= MAX_PATH) return false;
    return EnsureFaithfulPath(path, wide);
}

// The normal start, in the application directory.
int RunNormalStart(const char* applicationDirectory)
{
    // People start the launcher again when the client is slow to appear. The starts of one
    // installation therefore bring it up to date and prepare its configuration one at a time:
    // a start that comes while another is at it waits here, then finds the work done and
    // starts its own client. Who waits for whom, so that no wait closes a circle:
    // - Only normal starts take the lock. The updater copy must not: it waits, within its
    //   retries, for every running start of the old launcher to let go of VTConsole.exe, and
    //   those may be waiting here. Its retries last as long as a start may wait here.
    // - Stage 1 ends its process holding the lock, once the updater copy runs. The start that
    //   waited here then cannot delete the running copy (refused at once, not retried), merges
    //   what is left of the tree and starts its client; the copy's retries wait for it to end.
    // - The new launcher exists only once no start of the old one runs, so it waits here only
    //   for starts of the new launcher, which wait for nothing it holds.
    // - Inside the lock a start waits only for the updater copy to end (stage 3), which holds
    //   no lock. The lock is let go before the client starts and before the failure message,
    //   which may stay open for as long as the user leaves it.
    InstallationLock lock(applicationDirectory);
    const auto unlockAndFail = [&lock](const char* why) {
        lock.Release();
        return FailStart(why);
    };

    if (EntryExists(UPDATER_FILE)) RunUpdateStage(UPDATE_STAGE_REMOVE_UPDATER);

    if (EntryExists(PENDING_LAUNCHER)) {
        RunUpdateStage(UPDATE_STAGE_START_UPDATER);
        // The stage ends the process when it succeeds.
        return unlockAndFail("the new launcher could not be started");
    }

    HANDLE patches = FindEntry(PATCH_TREE);
    if (patches != INVALID_HANDLE_VALUE) {
        const int merged = MovePatchTree(PATCH_TREE, applicationDirectory);
        platform::FindClose(patches);
        if (!merged) return unlockAndFail("the patch tree could not be merged");
        if (!platform::DeleteFileA(UPDATE_SCRIPT) && AccountOn() &&
            platform::GetLastError() != ERROR_FILE_NOT_FOUND) {
            ReportFailure("DeleteFileA %s", UPDATE_SCRIPT);
        }
    }

    EnableUrlCredentials();
    // The lookups go without the lock: a name server that does not answer costs seconds for
    // each name, and starts made together then each wait for their own, not for each other's.
    const bool listReadable = MakeConnectionList();
    lock.Release();
    const ServerLookups servers = listReadable ? LookUpKnownServers() : ServerLookups{};
    lock.Take();
    if (listReadable) RewriteConnectionList(servers);
    ApplyClientPreferenceDefaults();
    lock.Release();

    if (!StartDetachedProcess(CLIENT_COMMAND_LINE)) {
        return FailStart("the Java client could not be started");
    }
    ReportExit(0);
    return 0;
}

}  // namespace

int RunLaunchSequence(const char* commandLine)
{
    OpenAccount();
    char path[MAX_PATH];
    if (!ReadExecutablePath(path)) return FailStart("its own path could not be read");

    char* lastBackslash = std::strrchr(path, '\\');
    if (lastBackslash == nullptr) {
        Report("own path %s has no folder", path);
        return FailStart("its own path could not be read");
    }

    const bool install =
        commandLine != nullptr && std::strstr(commandLine, INSTALL_OPTION) != nullptr;
    const bool isUpdater = EqualsIgnoringAsciiCase(lastBackslash + 1, UPDATER_FILE);
    Report("VTConsole " VT_VERSION " at %s: %s", path,
           install ? "install mode (--install)" : isUpdater ? "updater start" : "normal start");

    // Install mode keeps the current directory that the installer gave us.
    if (install) {
        RunInstallMode();
        ReportExit(0);
        return 0;
    }

    lastBackslash[1] = '\0';  // path now holds the application directory, backslash included
    if (!platform::SetCurrentDirectoryA(path)) {
        ReportFailure("SetCurrentDirectoryA %s", path);
        return FailStart("the application folder could not be entered");
    }

    if (isUpdater) {
        RunUpdateStage(UPDATE_STAGE_REPLACE_LAUNCHER);
        // The stage ends the process when it succeeds.
        return FailStart("the new launcher could not replace the old");
    }
    return RunNormalStart(path);
}
