#include "update/update_stage.h"

#include "platform/account.h"
#include "platform/platform.h"
#include "platform/process_start.h"

namespace {

// Started by a name in the current directory, so that the search path can never find another
// program of the same name, and with no arguments: the file name alone chooses the road.
constexpr char UPDATER_COMMAND[] = ".\\VTC_upd.exe";
constexpr char LAUNCHER_COMMAND[] = ".\\VTConsole.exe";

// The process that started us may still hold its executable for a moment after it has started
// us, and Windows reports that as a sharing violation: only that is waited for, after every
// failed attempt, the last included. Any other error will not go away by waiting.
// Counts the attempts made, the last included, up to most.
template <typename Attempt>
bool RetryWhileInUse(int* attempts, int most, Attempt attempt)
{
    for (*attempts = 1; *attempts <= most; ++*attempts) {
        if (attempt()) return true;
        if (platform::GetLastError() != ERROR_SHARING_VIOLATION) return false;
        platform::Sleep(UPDATE_RETRY_DELAY_MS);
    }
    *attempts = most;
    return false;
}

// Hands over to the next stage's process and ends this one; returns only when it cannot start.
void StartSuccessorAndExit(const char* commandLine)
{
    if (!StartDetachedProcess(commandLine)) return;
    ReportExit(0);
    platform::ExitProcess(0);
}

void StartUpdater()
{
    if (!platform::MoveFileExA(PENDING_LAUNCHER, UPDATER_COMMAND, MOVEFILE_REPLACE_EXISTING)) {
        ReportFailure("new launcher stays: MoveFileExA %s to %s", PENDING_LAUNCHER, UPDATER_FILE);
        return;
    }
    Report("new launcher %s moved to %s", PENDING_LAUNCHER, UPDATER_FILE);
    StartSuccessorAndExit(UPDATER_COMMAND);
}

// A copy is in the system's cache, not yet on disk: a power cut soon after it has taken the
// launcher's place could leave a launcher of zeros or cut short, which cannot start at all. Not
// being able to flush it does not stop the hand-over, though: the copy itself has succeeded.
void FlushToDisk(const char* path)
{
    HANDLE file = platform::CreateFileA(path, GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        ReportFailure("not flushed to disk: CreateFileA %s", path);
        return;
    }
    if (!platform::FlushFileBuffers(file)) ReportFailure("FlushFileBuffers %s", path);
    platform::CloseHandle(file);
}

// A start of the old launcher keeps VTConsole.exe in use while it runs, and a running program
// cannot be renamed over: Windows refuses that as access denied, as it refuses a read-only
// launcher, which no wait mends. Opening the launcher for writing with no sharing, as a copy
// over it would, tells the two apart: a sharing violation only while something holds it. Any
// other answer is left to the rename, which then fails or succeeds on its own account.
bool LauncherInUse()
{
    HANDLE file = platform::CreateFileA(LAUNCHER_FILE, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        platform::CloseHandle(file);
        return false;
    }
    if (platform::GetLastError() == ERROR_SHARING_VIOLATION) return true;
    ReportFailure("taken as not in use: CreateFileA %s", LAUNCHER_FILE);
    return false;
}

// True when the copy beside the launcher is gone, or was never there.
bool DeleteStagedLauncher()
{
    return platform::DeleteFileA(STAGED_LAUNCHER) ||
           platform::GetLastError() == ERROR_FILE_NOT_FOUND;
}

// The steps of the replacement, each as the account names the call that failed in it, and on
// which files (the names of update_stage.h).
enum class ReplaceStep { Clear, Copy, InUseTest, Rename };
constexpr char REPLACE_STEP_CALLS[][44] = {
    "DeleteFileA VTConsole.tmp",
    "CopyFileA VTC_upd.exe to VTConsole.tmp",
    "CreateFileA VTConsole.exe",
    "MoveFileExA VTConsole.tmp to VTConsole.exe",
};

void ReportNotReplaced(ReplaceStep step, int attempts, DWORD milliseconds)
{
    ReportFailure("launcher not replaced, attempt %d after %lu ms: %s", attempts, milliseconds,
                  REPLACE_STEP_CALLS[static_cast<int>(step)]);
}

// VTConsole.exe is at every moment the old launcher whole or the new one whole, whatever ends
// this process: the new launcher is written beside it and flushed to disk, and takes its place
// in one rename, which is itself on disk before the new launcher starts. The copy is made
// first, so that the rename follows at once on the test that the launcher is no longer in use.
void ReplaceLauncher()
{
    int attempts = 0;
    bool written = false;
    ReplaceStep step = ReplaceStep::Clear;
    const DWORD asked = AccountClock();
    const bool replaced = RetryWhileInUse(&attempts, UPDATE_REPLACE_ATTEMPTS, [&] {
        if (!written) {
            // Only into a file of its own: whatever has the copy's name already (what a copy cut
            // short left, a link, a second name of a file elsewhere) is removed first, which on
            // Windows removes that name alone, and the copy makes its file new or fails.
            step = ReplaceStep::Clear;
            if (!DeleteStagedLauncher()) return false;
            step = ReplaceStep::Copy;
            if (!platform::CopyFileA(UPDATER_FILE, STAGED_LAUNCHER, TRUE)) return false;
            FlushToDisk(STAGED_LAUNCHER);
            written = true;
            Report("%s copied to %s beside %s", UPDATER_FILE, STAGED_LAUNCHER, LAUNCHER_FILE);
        }
        step = ReplaceStep::InUseTest;
        if (LauncherInUse()) return false;
        step = ReplaceStep::Rename;
        return platform::MoveFileExA(STAGED_LAUNCHER, LAUNCHER_FILE,
                                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
    });
    if (!replaced) {
        ReportNotReplaced(step, attempts, AccountClock() - asked);
        // Once, without a wait: what cannot be removed now, the next start's stage 3 removes.
        if (!DeleteStagedLauncher()) {
            ReportFailure("left for the next start: DeleteFileA %s", STAGED_LAUNCHER);
        }
        return;
    }
    Report("%s renamed over %s at attempt %d after %lu ms", STAGED_LAUNCHER, LAUNCHER_FILE,
           attempts, AccountClock() - asked);
    // The updater copy stays: it is running, and the new launcher removes it.
    StartSuccessorAndExit(LAUNCHER_COMMAND);
}

// Deletes what a hand-over left, under the retry rule; true when it is gone or was never there.
bool RemoveLeftOver(const char* what, const char* file)
{
    int attempts = 0;
    if (RetryWhileInUse(&attempts, UPDATE_RETRY_ATTEMPTS,
                        [file] { return platform::DeleteFileA(file) != FALSE; })) {
        Report("%s %s removed at attempt %d", what, file, attempts);
        return true;
    }
    if (platform::GetLastError() == ERROR_FILE_NOT_FOUND) return true;
    ReportFailure("%s stays, attempt %d: DeleteFileA %s", what, attempts, file);
    return false;
}

// The new launcher beside the launcher only once the updater copy is gone: while the updater
// copy still runs (it cannot be deleted then), it may be the one writing it.
void RemoveUpdater()
{
    if (RemoveLeftOver("updater copy", UPDATER_FILE)) {
        RemoveLeftOver("left-over new launcher", STAGED_LAUNCHER);
    }
}

}  // namespace

void RunUpdateStage(int stage)
{
    switch (stage) {
    case UPDATE_STAGE_START_UPDATER: StartUpdater(); break;
    case UPDATE_STAGE_REPLACE_LAUNCHER: ReplaceLauncher(); break;
    case UPDATE_STAGE_REMOVE_UPDATER: RemoveUpdater(); break;
    default: break;
    }
}
