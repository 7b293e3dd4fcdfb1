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

// A copy is in the system's cache, not yet on disk: a power cut soon after could leave a
// launcher of zeros or cut short, which cannot start at all. Not being able to flush it does not
// stop the hand-over, though: the copy itself has succeeded.
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

void ReplaceLauncher()
{
    int attempts = 0;
    const DWORD asked = AccountClock();
    if (!RetryWhileInUse(&attempts, UPDATE_REPLACE_ATTEMPTS, [] {
            return platform::CopyFileA(UPDATER_FILE, LAUNCHER_FILE, FALSE) != FALSE;
        })) {
        ReportFailure("launcher not replaced, attempt %d after %lu ms: CopyFileA %s to %s",
                      attempts, AccountClock() - asked, UPDATER_FILE, LAUNCHER_FILE);
        return;
    }
    Report("%s copied over %s at attempt %d after %lu ms", UPDATER_FILE, LAUNCHER_FILE, attempts,
           AccountClock() - asked);
    FlushToDisk(LAUNCHER_FILE);
    // The updater copy stays: it is running, and the new launcher removes it.
    StartSuccessorAndExit(LAUNCHER_COMMAND);
}

void RemoveUpdater()
{
    int attempts = 0;
    if (RetryWhileInUse(&attempts, UPDATE_RETRY_ATTEMPTS,
                        [] { return platform::DeleteFileA(UPDATER_FILE) != FALSE; })) {
        Report("updater copy %s removed at attempt %d", UPDATER_FILE, attempts);
    } else {
        ReportFailure("updater copy stays, attempt %d: DeleteFileA %s", attempts,
                      UPDATER_FILE);
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
