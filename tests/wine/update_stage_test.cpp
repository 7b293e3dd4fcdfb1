// The update hand-over's stages in-process: real files in a scratch directory, with process
// starts recorded, Sleep counted instead of slept, and the sharing violations and other errors
// that a real start can only produce by timing injected where a stage meets them.

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "tests/support/fault_platform.h"
#include "tests/support/expect_start.h"
#include "tests/support/scratch_directory.h"
#include "update/update_stage.h"

namespace {

struct Outcome {
    bool exited;
    unsigned exitCode;
};

Outcome RunStage(int stage)
{
    try {
        RunUpdateStage(stage);
    } catch (const fault::ProcessExit& exit) {
        return {true, exit.exitCode};
    }
    return {false, 0};
}

class UpdateStage : public ::testing::Test {
protected:
    void SetUp() override
    {
        fault::Reset();
        fault::RecordProcessStarts();
        WriteFile("VTConsole.exe", "old launcher");
        WriteFile("patches\\lib\\vt-client.jar", "new client");
    }
    void TearDown() override { fault::Reset(); }

    static void ExpectHandedOverTo(const Outcome& outcome, const char* commandLine)
    {
        EXPECT_TRUE(outcome.exited);
        EXPECT_EQ(outcome.exitCode, 0u);
        ExpectOneDetachedStart(commandLine);
    }

    ScratchDirectory scratch;
};

TEST_F(UpdateStage, StartUpdaterMovesTheNewLauncherOverAnOldCopyAndHandsOver)
{
    WriteFile("patches\\VTConsole.exe", "new launcher");
    WriteFile("VTC_upd.exe", "stale updater");

    ExpectHandedOverTo(RunStage(UPDATE_STAGE_START_UPDATER), ".\\VTC_upd.exe");

    EXPECT_FALSE(FileExists("patches\\VTConsole.exe"));
    EXPECT_EQ(ReadFile("VTC_upd.exe"), "new launcher");
    EXPECT_EQ(ReadFile("VTConsole.exe"), "old launcher");
    EXPECT_EQ(ReadFile("patches\\lib\\vt-client.jar"), "new client");
    EXPECT_EQ(fault::SleepCalls(), 0u);
}

TEST_F(UpdateStage, StartUpdaterNeverRetriesTheMove)
{
    WriteFile("patches\\VTConsole.exe", "new launcher");
    fault::FailAlways(fault::Op::MoveFileExA, ERROR_SHARING_VIOLATION);

    EXPECT_FALSE(RunStage(UPDATE_STAGE_START_UPDATER).exited);

    EXPECT_EQ(fault::Calls(fault::Op::MoveFileExA), 1u);
    EXPECT_EQ(fault::SleepCalls(), 0u);
    EXPECT_TRUE(fault::ProcessStarts().empty());
    EXPECT_EQ(ReadFile("patches\\VTConsole.exe"), "new launcher");
    EXPECT_FALSE(FileExists("VTC_upd.exe"));
}

// The new launcher is written beside the launcher, flushed and renamed over it before it starts;
// a flush that fails still hands over, as does an in-use test that fails with another error.
TEST_F(UpdateStage, ReplaceLauncherCopiesFlushesKeepsTheUpdaterAndHandsOver)
{
    using fault::Op;
    const std::pair<const char*, Op> cases[] = {
        {"no fault", Op::Count},
        {"open fails", Op::CreateFileA},
        {"flush fails", Op::FlushFileBuffers},
    };
    for (const auto& [name, failing] : cases) {
        SCOPED_TRACE(name);
        fault::Reset();
        fault::RecordProcessStarts();
        if (failing != Op::Count) fault::FailAlways(failing, ERROR_ACCESS_DENIED);
        WriteFile("VTConsole.exe", "old launcher");
        WriteFile("VTC_upd.exe", "new launcher");

        ExpectHandedOverTo(RunStage(UPDATE_STAGE_REPLACE_LAUNCHER), ".\\VTConsole.exe");

        EXPECT_EQ(ReadFile("VTConsole.exe"), "new launcher");
        EXPECT_EQ(ReadFile("VTC_upd.exe"), "new launcher");
        EXPECT_EQ(fault::MoveFlags(), std::vector<unsigned long>{MOVEFILE_REPLACE_EXISTING |
                                                                 MOVEFILE_WRITE_THROUGH});
        if (failing == Op::Count) {
            EXPECT_EQ(fault::CallOrder(),
                      (std::vector<Op>{Op::DeleteFileA, Op::CopyFileA, Op::CreateFileA,
                                       Op::FlushFileBuffers, Op::CloseHandle, Op::CreateFileA,
                                       Op::CloseHandle, Op::MoveFileExA, Op::CreateProcessA,
                                       Op::CloseHandle, Op::CloseHandle}));
        }
    }
}

TEST_F(UpdateStage, StageWhoseSuccessorCannotStartReturnsWithTheFilesItMoved)
{
    struct Case {
        int stage;
        const char* pending;  // where the new launcher lies before the stage
        const char* updaterAfter;
        const char* launcherAfter;
    };
    const Case cases[] = {
        {UPDATE_STAGE_START_UPDATER, "patches\\VTConsole.exe", "new launcher", "old launcher"},
        {UPDATE_STAGE_REPLACE_LAUNCHER, "VTC_upd.exe", "new launcher", "new launcher"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stage);
        fault::Reset();
        fault::RecordProcessStarts();
        fault::FailAlways(fault::Op::CreateProcessA, ERROR_FILE_NOT_FOUND);
        WriteFile("VTConsole.exe", "old launcher");
        WriteFile(c.pending, "new launcher");

        EXPECT_FALSE(RunStage(c.stage).exited);

        EXPECT_EQ(fault::Calls(fault::Op::CreateProcessA), 1u);
        EXPECT_EQ(ReadFile("VTC_upd.exe"), c.updaterAfter);
        EXPECT_EQ(ReadFile("VTConsole.exe"), c.launcherAfter);
        EXPECT_FALSE(FileExists("patches\\VTConsole.exe"));
    }
}

// Stage 2's replacement and stage 3's deletions (the new launcher beside the launcher once the
// updater copy is gone) wait only for a file in use: sixty times, as starts wait, and ten.
TEST_F(UpdateStage, RetriesOnlySharingViolationsWaitingAfterEach)
{
    struct Case {
        const char* name;
        int stage;
        fault::Op op;
        unsigned failures;
        unsigned long error;
        unsigned attempts;
        unsigned waits;
        bool done;
    };
    const Case cases[] = {
        {"copy in use throughout", UPDATE_STAGE_REPLACE_LAUNCHER, fault::Op::CopyFileA, UINT_MAX,
         ERROR_SHARING_VIOLATION, 60, 60, false},
        {"copy in use three times", UPDATE_STAGE_REPLACE_LAUNCHER, fault::Op::CopyFileA, 3,
         ERROR_SHARING_VIOLATION, 4, 3, true},
        {"copy free at the sixtieth attempt", UPDATE_STAGE_REPLACE_LAUNCHER, fault::Op::CopyFileA,
         59, ERROR_SHARING_VIOLATION, 60, 59, true},
        {"copy denied", UPDATE_STAGE_REPLACE_LAUNCHER, fault::Op::CopyFileA, UINT_MAX,
         ERROR_ACCESS_DENIED, 1, 0, false},
        {"copy onto a full disk", UPDATE_STAGE_REPLACE_LAUNCHER, fault::Op::CopyFileA, UINT_MAX,
         ERROR_DISK_FULL, 1, 0, false},
        {"rename denied", UPDATE_STAGE_REPLACE_LAUNCHER, fault::Op::MoveFileExA, UINT_MAX,
         ERROR_ACCESS_DENIED, 1, 0, false},
        {"deletion in use throughout", UPDATE_STAGE_REMOVE_UPDATER, fault::Op::DeleteFileA,
         UINT_MAX, ERROR_SHARING_VIOLATION, 10, 10, false},
        {"deletion in use twice", UPDATE_STAGE_REMOVE_UPDATER, fault::Op::DeleteFileA, 2,
         ERROR_SHARING_VIOLATION, 4, 2, true},  // the fourth deletes the copy beside
        {"deletion of a running updater", UPDATE_STAGE_REMOVE_UPDATER, fault::Op::DeleteFileA,
         UINT_MAX, ERROR_ACCESS_DENIED, 1, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fault::Reset();
        fault::RecordProcessStarts();
        fault::FailCalls(c.op, 1, c.failures, c.error);
        WriteFile("VTConsole.exe", "old launcher");
        WriteFile("VTC_upd.exe", "new launcher");
        WriteFile("VTConsole.tmp", "new launcher cut short");

        const Outcome outcome = RunStage(c.stage);

        EXPECT_EQ(fault::Calls(c.op), c.attempts);
        EXPECT_EQ(fault::SleepCalls(), c.waits);
        EXPECT_EQ(fault::SleptMilliseconds(), c.waits * 1000ul);
        if (c.stage == UPDATE_STAGE_REPLACE_LAUNCHER) {
            EXPECT_EQ(outcome.exited, c.done);
            EXPECT_EQ(fault::ProcessStarts().size(), c.done ? 1u : 0u);
            EXPECT_EQ(ReadFile("VTConsole.exe"), c.done ? "new launcher" : "old launcher");
            EXPECT_TRUE(FileExists("VTC_upd.exe"));
        } else {
            EXPECT_FALSE(outcome.exited);
            EXPECT_TRUE(fault::ProcessStarts().empty());
            EXPECT_EQ(FileExists("VTC_upd.exe"), !c.done);
        }
        EXPECT_EQ(FileExists("VTConsole.tmp"), c.stage == UPDATE_STAGE_REMOVE_UPDATER && !c.done);
    }
}

// Whatever the copy holds, and whatever waits in the patch tree: stage 3 only deletes it.
TEST_F(UpdateStage, RemoveUpdaterDeletesTheCopyAndTouchesNothingElse)
{
    WriteFile("VTC_upd.exe", "new launcher that never took over");
    WriteFile("patches\\VTConsole.exe", "newer launcher");

    EXPECT_FALSE(RunStage(UPDATE_STAGE_REMOVE_UPDATER).exited);

    EXPECT_EQ(fault::CallOrder(), std::vector<fault::Op>(2, fault::Op::DeleteFileA));
    EXPECT_FALSE(FileExists("VTC_upd.exe"));
    EXPECT_EQ(ReadFile("VTConsole.exe"), "old launcher");
    EXPECT_EQ(ReadFile("patches\\VTConsole.exe"), "newer launcher");
    EXPECT_EQ(ReadFile("patches\\lib\\vt-client.jar"), "new client");
}

TEST_F(UpdateStage, UnknownStageNumberDoesNothing)
{
    WriteFile("patches\\VTConsole.exe", "new launcher");
    WriteFile("VTC_upd.exe", "new launcher");
    for (int stage : {0, 4, -1, 0x7fffffff}) {
        SCOPED_TRACE(stage);
        EXPECT_FALSE(RunStage(stage).exited);
        EXPECT_EQ(fault::FailableOperations(), 0u);
        EXPECT_EQ(fault::SleepCalls(), 0u);
        EXPECT_TRUE(fault::ProcessStarts().empty());
    }
    EXPECT_EQ(ReadFile("VTConsole.exe"), "old launcher");
    EXPECT_TRUE(FileExists("VTC_upd.exe"));
    EXPECT_TRUE(FileExists("patches\\VTConsole.exe"));
}

}  // namespace
