// The launch sequence in-process, for what a real start cannot show or cannot be made to do:
// the exact start records, and failures of calls that Wine does not fail.

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "launcher/client.h"
#include "launcher/installation_lock.h"
#include "launcher/launch_sequence.h"
#include "tests/support/expect_start.h"
#include "tests/support/fault_platform.h"
#include "tests/support/scratch_directory.h"

namespace {

class LaunchSequence : public ::testing::Test {
protected:
    void SetUp() override
    {
        fault::Reset();
        fault::RecordProcessStarts();
        fault::SetModulePath(scratch.Path() + "VTConsole.exe");
    }
    void TearDown() override { fault::Reset(); }

    static bool ShowedFailure()
    {
        const auto& boxes = fault::MessageBoxes();
        return boxes.size() == 1 && boxes[0].text == "Unable to initiate application";
    }

    ScratchDirectory scratch;
};

// With the registry out of reach, each configuration step leaves a trace of its own in the call
// order: the feature key (one RegCreateKeyA), the list (whether conf is a link, CopyFileA,
// OpenTextFile, the lookups, the scan), the service list and the preference key (CopyFileA,
// RegCreateKeyA).
TEST_F(LaunchSequence, RunsTheStepsOfANormalStartInOrderAndStartsTheClientDetached)
{
    fault::FailAlways(fault::Op::RegCreateKeyA, ERROR_ACCESS_DENIED);
    WriteFile("conf\\connections.xml", "<connections/>\n");

    EXPECT_EQ(RunLaunchSequence(""), 0);

    ExpectOneDetachedStart(CLIENT_COMMAND_LINE);
    EXPECT_TRUE(fault::MessageBoxes().empty());
    using fault::Op;
    // The installation's lock is let go while the names are looked up, and before the client
    // starts.
    const std::vector<Op> lastCalls = {
        Op::FindFirstFileA, Op::RegCreateKeyA, Op::GetFileAttributesA, Op::CopyFileA,
        Op::OpenTextFile, Op::CloseTextFile, Op::ReleaseMutex, Op::CloseHandle, Op::WSAStartup,
        Op::gethostbyname, Op::gethostbyname, Op::CreateMutexA, Op::WaitForSingleObject,
        Op::GetFileAttributesA, Op::OpenTextFile, Op::ReadLinePiece, Op::ReadLinePiece,
        Op::CloseTextFile, Op::GetFileAttributesA, Op::CopyFileA, Op::RegCreateKeyA,
        Op::ReleaseMutex, Op::CloseHandle, Op::CreateProcessA, Op::CloseHandle, Op::CloseHandle};
    const std::vector<Op>& calls = fault::CallOrder();
    ASSERT_GE(calls.size(), lastCalls.size());
    EXPECT_EQ(std::vector<Op>(calls.end() - lastCalls.size(), calls.end()), lastCalls);
    EXPECT_EQ(fault::Calls(Op::RegCreateKeyA), 2u);
}

TEST_F(LaunchSequence, FailureMessageHasNoOwnerNoCaptionAndOnlyAnOkButton)
{
    fault::FailAlways(fault::Op::CreateProcessA, ERROR_FILE_NOT_FOUND);

    EXPECT_EQ(RunLaunchSequence(""), 1);

    ASSERT_TRUE(ShowedFailure());
    EXPECT_FALSE(fault::MessageBoxes()[0].ownerGiven);
    EXPECT_FALSE(fault::MessageBoxes()[0].captionGiven);
    EXPECT_EQ(fault::MessageBoxes()[0].style, static_cast<unsigned>(MB_OK));
}

TEST_F(LaunchSequence, FailsBeforeAnythingElseWhenItsOwnPathIsUnusable)
{
    // A launcher in a folder that the ANSI code page (1252 here) cannot spell: only the short
    // form of its path names it.
    const std::string folder = MakeWideDirectory(scratch.WidePath() + L"Zażółć gęślą");
    WriteFile(folder + "\\VTConsole.exe", "");
    const std::wstring unspellable = scratch.WidePath() + L"Zażółć gęślą\\VTConsole.exe";
    BOOL usedDefault = FALSE;
    char narrow[MAX_PATH];
    ASSERT_NE(::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, unspellable.c_str(), -1, narrow,
                                    MAX_PATH, nullptr, &usedDefault), 0);
    ASSERT_TRUE(usedDefault) << "this code page spells the folder: its short form is not needed";

    using fault::Op;
    struct Case {
        const char* name;
        std::string modulePath;  // empty: the test program's own, or the unspellable one
        bool unspellable;
        Op failing;  // Op::Count: none
        unsigned failingCall;
        bool shortNamesOff;
    };
    const std::string tooLong = "C:\\" + std::string(251, 'a') + "\\b.exe";
    const Case cases[] = {
        {"GetModuleFileNameA fails", "", false, Op::GetModuleFileNameA, 1, false},
        {"path of 260 characters", tooLong, false, Op::Count, 0, false},
        {"path with no backslash", "VTConsole.exe", false, Op::Count, 0, false},
        {"GetModuleFileNameW fails", "", false, Op::GetModuleFileNameW, 1, false},
        {"the faithfulness test fails", "", false, Op::WideCharToMultiByte, 1, false},
        {"GetShortPathNameW fails", "", true, Op::GetShortPathNameW, 1, false},
        {"the short form cannot be converted", "", true, Op::WideCharToMultiByte, 2, false},
        {"no short names on the volume", "", true, Op::Count, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fault::Reset();
        fault::RecordProcessStarts();
        if (c.failing != Op::Count) {
            fault::FailCalls(c.failing, c.failingCall, 1, ERROR_NO_UNICODE_TRANSLATION);
        }
        if (c.unspellable) fault::SetModulePath(unspellable);
        if (!c.modulePath.empty()) fault::SetModulePath(c.modulePath);
        if (c.shortNamesOff) fault::SwitchOffShortNames();

        // Even the install option cannot get past an unusable path.
        EXPECT_EQ(RunLaunchSequence("--install"), 1);

        EXPECT_TRUE(ShowedFailure());
        EXPECT_EQ(fault::Calls(Op::SetCurrentDirectoryA), 0u);
        EXPECT_EQ(fault::Calls(Op::FindFirstFileA), 0u);
        EXPECT_TRUE(fault::ProcessStarts().empty());
        // Only a path that the code page cannot spell takes the road through its short form.
        EXPECT_EQ(fault::Calls(Op::GetShortPathNameW) != 0, c.unspellable);
    }
}

TEST_F(LaunchSequence, CodePageWithoutDefaultCharactersKeepsTheNarrowPath)
{
    // UTF-8 as the ANSI code page refuses the faithfulness test's flag and question (with one of
    // these errors); it spells every path.
    for (const DWORD error : {ERROR_INVALID_PARAMETER, ERROR_INVALID_FLAGS}) {
        SCOPED_TRACE(error);
        fault::Reset();
        fault::RecordProcessStarts();
        fault::SetModulePath(scratch.Path() + "VTConsole.exe");
        fault::FailCalls(fault::Op::WideCharToMultiByte, 1, 1, error);

        EXPECT_EQ(RunLaunchSequence(""), 0);

        ExpectOneDetachedStart(CLIENT_COMMAND_LINE);
        EXPECT_EQ(fault::Calls(fault::Op::GetShortPathNameW), 0u);
    }
}

TEST_F(LaunchSequence, PathOfExactly259CharactersStillStarts)
{
    const std::string path = "C:\\" + std::string(250, 'a') + "\\b.exe";
    ASSERT_EQ(path.size(), 259u);
    fault::SetModulePath(path);
    fault::FailAlways(fault::Op::SetCurrentDirectoryA, ERROR_PATH_NOT_FOUND);

    EXPECT_EQ(RunLaunchSequence(""), 1);

    // It got as far as changing directory, which is where this made-up path fails.
    EXPECT_EQ(fault::Calls(fault::Op::SetCurrentDirectoryA), 1u);
}

TEST_F(LaunchSequence, FailsWhenTheApplicationDirectoryCannotBeMadeCurrent)
{
    for (const char* name : {"VTConsole.exe", "VTC_upd.exe"}) {
        SCOPED_TRACE(name);
        fault::Reset();
        fault::RecordProcessStarts();
        fault::SetModulePath(scratch.Path() + name);
        fault::FailAlways(fault::Op::SetCurrentDirectoryA, ERROR_ACCESS_DENIED);

        EXPECT_EQ(RunLaunchSequence(""), 1);

        EXPECT_TRUE(ShowedFailure());
        EXPECT_EQ(fault::Calls(fault::Op::FindFirstFileA), 0u);
        EXPECT_TRUE(fault::ProcessStarts().empty());
    }
}

TEST_F(LaunchSequence, TakesALockLeftAbandonedAndLetsGoOfItBeforeTheMessage)
{
    char name[64], upper[64], lower[64];
    ASSERT_TRUE(MakeInstallationLockName(scratch.Path().c_str(), name, sizeof name));
    ASSERT_TRUE(MakeInstallationLockName("C:\\Users\\\xc9T\xc9\\", upper, sizeof upper));
    ASSERT_TRUE(MakeInstallationLockName("c:\\users\\\xe9t\xe9\\", lower, sizeof lower));
    EXPECT_STREQ(upper, lower) << "letter case makes no other installation";
    EXPECT_STRNE(name, upper);

    HANDLE lock = ::CreateMutexA(nullptr, FALSE, name);
    std::thread([lock] { ::WaitForSingleObject(lock, INFINITE); }).join();  // ends holding it
    WriteFile("patches", "a file where the tree should be");  // fails the merge
    DWORD whileShown = WAIT_FAILED;
    fault::OnMessageBox([&] {
        std::thread([&] {
            whileShown = ::WaitForSingleObject(lock, 0);
            ::ReleaseMutex(lock);
        }).join();
    });

    EXPECT_EQ(RunLaunchSequence(""), 1);

    EXPECT_TRUE(ShowedFailure());
    EXPECT_EQ(whileShown, WAIT_OBJECT_0) << "another start must not wait for the message";
    ::CloseHandle(lock);
}

// Starts made together write one account: each record lands after the others, never over one,
// whoever else appends at the same moment.
TEST_F(LaunchSequence, AccountRecordsAppendedAtOnceAllLand)
{
    const std::string path = scratch.Path() + "VTConsole.log";
    const std::string record = std::string(96, 'x') + "\r\n";
    const auto append = [&] {
        for (int i = 0; i < 1500; ++i) platform::AppendToFile(path.c_str(), record.c_str(), 98);
    };
    std::thread other(append);
    append();
    other.join();

    EXPECT_EQ(ReadFile(path).size(), 3000u * record.size());
}

TEST_F(LaunchSequence, InstallOptionNeverChangesDirectoryAndEndsWithZero)
{
    EXPECT_EQ(RunLaunchSequence("/quiet --install=yes"), 0);

    EXPECT_EQ(fault::Calls(fault::Op::SetCurrentDirectoryA), 0u);
    EXPECT_TRUE(fault::MessageBoxes().empty());
}

}  // namespace
