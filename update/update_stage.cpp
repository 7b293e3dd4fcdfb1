#include "update/update_stage.h"

#include <cstring>

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

void ReplaceLauncher()
{
    if (!RetryWhileInUse(
            [] { return platform::CopyFileA(UPDATER_FILE, LAUNCHER_FILE, FALSE) != FALSE; })) {
        return;
    }
    // The updater copy stays: it is running, and the new launcher removes it.
    StartSuccessorAndExit(LAUNCHER_COMMAND);
}

enum class Comparison { Same, Different, Unknown };

HANDLE OpenForComparison(const char* path)
{
    // Whoever else has the file open, a running updater copy included, may go on using it.
    return platform::CreateFileA(path, GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

Comparison CompareFiles(const char* first, const char* second)
{
    HANDLE files[] = {OpenForComparison(first), OpenForComparison(second)};
    Comparison result = Comparison::Unknown;
    if (files[0] != INVALID_HANDLE_VALUE && files[1] != INVALID_HANDLE_VALUE) {
        char chunks[2][4096];
        DWORD lengths[2];
        for (;;) {
            if (!platform::ReadFile(files[0], chunks[0], sizeof chunks[0], &lengths[0], nullptr) ||
                !platform::ReadFile(files[1], chunks[1], sizeof chunks[1], &lengths[1], nullptr)) {
                break;
            }
            if (lengths[0] != lengths[1] || std::memcmp(chunks[0], chunks[1], lengths[0]) != 0) {
                result = Comparison::Different;
                break;
            }
            if (lengths[0] == 0) {
                result = Comparison::Same;
                break;
            }
        }
    }
    for (HANDLE file : files) {
        if (file != INVALID_HANDLE_VALUE) platform::CloseHandle(file);
    }
    return result;
}

void RemoveUpdater()
{
    // An updater copy that differs from the launcher is a hand-over that did not finish: the
    // copy could not start, or could not replace the launcher. It is then the only copy of the
    // new launcher, and deleting it would lose the update for good; it goes back to the patch
    // tree instead, so that this start hands over again. Only a newer launcher already waiting
    // there makes it stale.
    if (CompareFiles(UPDATER_FILE, LAUNCHER_FILE) == Comparison::Different &&
        platform::GetFileAttributesA(PENDING_LAUNCHER) == INVALID_FILE_ATTRIBUTES) {
        if (platform::CreateDirectoryA(PATCH_TREE, nullptr) ||
            platform::GetLastError() == ERROR_ALREADY_EXISTS) {
            platform::MoveFileExA(UPDATER_FILE, PENDING_LAUNCHER, 0);
        }
        return;
    }
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
