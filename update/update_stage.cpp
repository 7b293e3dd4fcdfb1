#include "update/update_stage.h"

#include "launcher/platform.h"
#include "launcher/process_start.h"

namespace {

// Started by a name in the current directory, so that the search path can never find another
// program of the same name, and with no arguments: the file name alone chooses the road.
constexpr char UPDATER_COMMAND[] = ".\\VTC_upd.exe";
constexpr char LAUNCHER_COMMAND[] = ".\\VTConsole.exe";

// The process that started us may still hold its executable for a moment after it has started
// us, and Windows reports that as a sharing violation: only that is waited for, after every
// failed attempt, the last included. Any other error will not go away by waiting.
template <typename Attempt>
bool RetryWhileInUse(Attempt attempt)
{
    for (int i = 0; i < UPDATE_RETRY_ATTEMPTS; ++i) {
        if (attempt()) return true;
        if (platform::GetLastError() != ERROR_SHARING_VIOLATION) return false;
        platform::Sleep(UPDATE_RETRY_DELAY_MS);
    }
    return false;
}

// Hands over to the next stage's process and ends this one; returns only when it cannot start.
void StartSuccessorAndExit(const char* commandLine)
{
    if (StartDetachedProcess(commandLine)) platform::ExitProcess(0);
}

void StartUpdater()
{
    if (!platform::MoveFileExA(PENDING_LAUNCHER, UPDATER_COMMAND, MOVEFILE_REPLACE_EXISTING)) {
        return;
    }
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
    if (file == INVALID_HANDLE_VALUE) return;
    platform::FlushFileBuffers(file);
    platform::CloseHandle(file);
}

void ReplaceLauncher()
{
    if (!RetryWhileInUse(
            [] { return platform::CopyFileA(UPDATER_FILE, LAUNCHER_FILE, FALSE) != FALSE; })) {
        return;
    }
    FlushToDisk(LAUNCHER_FILE);
    // The updater copy stays: it is running, and the new launcher removes it.
    StartSuccessorAndExit(LAUNCHER_COMMAND);
}

void RemoveUpdater()
{
    RetryWhileInUse([] { return platform::DeleteFileA(UPDATER_FILE) != FALSE; });
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
