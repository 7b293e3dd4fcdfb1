// Install mode in-process, for what a real installer cannot show: the order of the snapshot and
// process calls, the setup program's start record, the copies against a parent directory of any
// length, and failures that Wine does not produce. The process snapshot is real; the parent (its
// module snapshot and the process itself) is a stand-in naming an installer in the scratch
// directory.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "install/install_mode.h"
#include "tests/support/fault_platform.h"
#include "tests/support/scratch_directory.h"

namespace {

using fault::Op;

constexpr unsigned long PARENT_ID = 4242;

// The calls of a run as words, the Process32Next calls of the walk left out.
std::string DescribeCalls()
{
    std::string text;
    for (Op op : fault::CallOrder()) {
        const char* word = "?";
        switch (op) {
        case Op::CreateToolhelp32Snapshot: word = "snapshot"; break;
        case Op::Process32First: word = "first"; break;
        case Op::Module32First: word = "module"; break;
        case Op::Module32FirstW: word = "wide"; break;
        case Op::OpenProcess: word = "open"; break;
        case Op::QueryFullProcessImageNameW: word = "image"; break;
        case Op::WideCharToMultiByte: word = "render"; break;
        case Op::GetShortPathNameW: word = "short"; break;
        case Op::CopyFileA: word = "copy"; break;
        case Op::CreateProcessA: word = "start"; break;
        case Op::WaitForSingleObject: word = "wait"; break;
        case Op::CloseHandle: word = "close"; break;
        default: break;
        }
        // How far the walk goes depends on where this process stands in the list.
        if (op == Op::Process32Next) continue;
        if (!text.empty()) text += ' ';
        text += word;
    }
    return text;
}

const std::vector<std::string> SETUP_WAITED_FOR = {"close snapshot", "wait process INFINITE",
                                                   "close process", "close thread"};

class InstallMode : public ::testing::Test {
protected:
    void SetUp() override { Prepare(scratch.Path() + "installer\\installer.exe"); }
    void TearDown() override { fault::Reset(); }

    template <typename Path>
    static void Prepare(const Path& parentExecutable)
    {
        fault::Reset();
        fault::RecordProcessStarts();
        fault::SetParentProcessId(PARENT_ID);
        fault::StandInForParent(parentExecutable);
    }

    ScratchDirectory scratch;
};

TEST_F(InstallMode, ClosesEachSnapshotBeforeTheNextAndWaitsForSetupInItsOwnGroup)
{
    RunInstallMode();

    // The wide entry only tells that the narrow path is faithful; no short form is sought.
    EXPECT_EQ(DescribeCalls(), "snapshot first close snapshot module wide render copy copy close "
                               "start wait close close");
    EXPECT_EQ(fault::ModuleSnapshotProcessIds(), std::vector<unsigned long>{PARENT_ID});
    ASSERT_EQ(fault::ProcessStarts().size(), 1u);
    const fault::ProcessStart& start = fault::ProcessStarts()[0];
    EXPECT_EQ(start.commandLine, ".\\Setup.exe");
    EXPECT_EQ(start.creationFlags, 0u);
    EXPECT_FALSE(start.inheritHandles);
    EXPECT_FALSE(start.applicationNameGiven);
    EXPECT_EQ(start.startupInfoSize, 68u);
    // Waited for without a time limit; the process handle is closed before the thread handle.
    EXPECT_EQ(fault::StandInHandleEvents(), SETUP_WAITED_FOR);
    EXPECT_TRUE(fault::MessageBoxes().empty());
}

TEST_F(InstallMode, TakesOverTheInstallersFilesOnlyWhereNoneExist)
{
    struct Case {
        const char* name;
        std::vector<const char*> besideInstaller;
        std::vector<const char*> alreadyHere;
        unsigned failingCopy;  // 0: none
        std::vector<const char*> copied;
    };
    const Case cases[] = {
        {"both", {"services.xml", "connections.xml"}, {}, 0, {"services.xml", "connections.xml"}},
        {"services only", {"services.xml"}, {}, 0, {"services.xml"}},
        {"connections only", {"connections.xml"}, {}, 0, {"connections.xml"}},
        {"neither", {}, {}, 0, {}},
        {"existing services.xml stays", {"services.xml", "connections.xml"}, {"services.xml"}, 0,
         {"connections.xml"}},
        {"both exist already", {"services.xml", "connections.xml"},
         {"services.xml", "connections.xml"}, 0, {}},
        // Which copy fails shows the order: services.xml is tried first.
        {"first copy fails", {"services.xml", "connections.xml"}, {}, 1, {"connections.xml"}},
        {"second copy fails", {"services.xml", "connections.xml"}, {}, 2, {"services.xml"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDirectory here;
        Prepare(here.Path() + "installer\\installer.exe");
        WriteFile("installer\\installer.exe", "");
        WriteFile("conf\\default-services.xml", "");
        for (const char* name : c.besideInstaller) {
            WriteFile(std::string("installer\\") + name, std::string("installer's ") + name);
        }
        for (const char* name : c.alreadyHere) WriteFile(name, std::string("own ") + name);
        if (c.failingCopy != 0) fault::FailCalls(Op::CopyFileA, c.failingCopy, 1, ERROR_DISK_FULL);

        RunInstallMode();

        for (const char* name : {"services.xml", "connections.xml"}) {
            SCOPED_TRACE(name);
            const bool copied = std::find(c.copied.begin(), c.copied.end(),
                                          std::string(name)) != c.copied.end();
            const bool own = std::find(c.alreadyHere.begin(), c.alreadyHere.end(),
                                       std::string(name)) != c.alreadyHere.end();
            if (copied) {
                EXPECT_EQ(ReadFile(name), std::string("installer's ") + name);
            } else if (own) {
                EXPECT_EQ(ReadFile(name), std::string("own ") + name);
            } else {
                EXPECT_FALSE(FileExists(name));
            }
            // The bare name in the current directory, never the client's conf folder.
            EXPECT_FALSE(FileExists(std::string("conf\\") + name));
        }
        EXPECT_EQ(fault::ProcessStarts().size(), 1u);
        EXPECT_EQ(fault::StandInHandleEvents(), SETUP_WAITED_FOR);
    }
}

TEST_F(InstallMode, NameThatDoesNotFitAfterTheParentsDirectoryIsSkippedNotCut)
{
    // The installer's directory, backslash included, is 244 or 245 characters long: 244 leaves
    // room for "connections.xml" (15) and the terminator in the 260-byte path, 245 does not.
    // A cut path would name "connections.xm", which lies there too.
    for (const std::size_t directoryLength : {244u, 245u}) {
        SCOPED_TRACE(directoryLength);
        ScratchDirectory here;
        const std::size_t room = directoryLength - here.Path().size();
        const std::string installer = std::string(room / 2, 'i') + "\\" +
                                      std::string(room - room / 2 - 2, 'j') + "\\";
        ASSERT_EQ(here.Path().size() + installer.size(), directoryLength);
        Prepare(here.Path() + installer + "setup.exe");
        for (const char* name : {"services.xml", "connections.xml", "connections.xm"}) {
            WriteFile(installer + name, name);
        }

        RunInstallMode();

        EXPECT_EQ(ReadFile("services.xml"), "services.xml");
        if (directoryLength == 244) {
            EXPECT_EQ(ReadFile("connections.xml"), "connections.xml");
        } else {
            EXPECT_FALSE(FileExists("connections.xml"));
            EXPECT_EQ(fault::Calls(Op::CopyFileA), 1u);
        }
        EXPECT_EQ(fault::ProcessStarts().size(), 1u);
    }
}

TEST_F(InstallMode, ParentPathWithoutBackslashCopiesNothingButStillRunsSetup)
{
    Prepare("installer.exe");
    WriteFile("installer.exe", "");

    RunInstallMode();

    EXPECT_EQ(fault::Calls(Op::CopyFileA), 0u);
    EXPECT_EQ(fault::StandInHandleEvents(), SETUP_WAITED_FOR);
}

TEST_F(InstallMode, InstallerInAFolderThatTheCodePageCannotSpellIsReachedByItsShortForm)
{
    // The narrow path of the installer names a folder of look-alikes, which exists here with
    // files of its own; the installer's own files are reached only by the short form.
    const std::wstring folder = scratch.WidePath() + L"Zażółć gęślą";
    const std::string shortFolder = MakeWideDirectory(folder);
    char lookAlike[MAX_PATH];  // as the system makes the narrow path: "Zazólc gesla"
    ASSERT_NE(::WideCharToMultiByte(CP_ACP, 0, folder.c_str(), -1, lookAlike, MAX_PATH, nullptr,
                                    nullptr), 0);
    ASSERT_EQ(std::string(lookAlike), scratch.Path() + "Zaz\xf3lc gesla");
    for (const std::string& directory : {shortFolder, std::string(lookAlike)}) {
        WriteFile(directory + "\\installer.exe", "");
        WriteFile(directory + "\\services.xml", directory);
        WriteFile(directory + "\\connections.xml", directory);
    }
    for (const bool shortNames : {true, false}) {
        SCOPED_TRACE(shortNames ? "short names" : "no short names");
        ScratchDirectory here;
        Prepare(folder + L"\\installer.exe");
        if (!shortNames) fault::SwitchOffShortNames();

        RunInstallMode();

        for (const char* name : {"services.xml", "connections.xml"}) {
            if (shortNames) {
                EXPECT_EQ(ReadFile(name), shortFolder) << name;
            } else {
                EXPECT_FALSE(FileExists(name)) << name;
            }
        }
        EXPECT_EQ(fault::StandInHandleEvents(), SETUP_WAITED_FOR);
    }
}

TEST_F(InstallMode, FailuresThatWineDoesNotProduce)
{
    struct Case {
        const char* name;
        Op op;
        unsigned first;
        unsigned long error;
        const char* calls;
        // As a 32-bit process is refused the module list of a 64-bit one.
        bool moduleListUnreadable = false;
    };
    // The installer lies in a folder that the ANSI code page cannot spell, so every call that
    // leads to its short form is made. Where no module entry can be read, the parent process
    // itself is asked for its executable.
    const Case cases[] = {
        {"no process snapshot: Setup is not run", Op::CreateToolhelp32Snapshot, 1,
         ERROR_NOT_ENOUGH_MEMORY, "snapshot"},
        {"no own entry", Op::Process32First, 1, ERROR_NO_MORE_FILES,
         "snapshot first close start wait close close"},
        {"no module snapshot", Op::CreateToolhelp32Snapshot, 2, ERROR_PARTIAL_COPY,
         "snapshot first close snapshot open image close render short render copy copy start "
         "wait close close"},
        {"no module entry", Op::Module32First, 1, ERROR_NO_MORE_FILES,
         "snapshot first close snapshot module close open image close render short render copy "
         "copy start wait close close"},
        {"no wide module entry", Op::Module32FirstW, 1, ERROR_NO_MORE_FILES,
         "snapshot first close snapshot module wide close open image close render short render "
         "copy copy start wait close close"},
        {"nor can the parent be opened", Op::OpenProcess, 1, ERROR_ACCESS_DENIED,
         "snapshot first close snapshot open start wait close close", true},
        {"nor its image name be read", Op::QueryFullProcessImageNameW, 1, ERROR_ACCESS_DENIED,
         "snapshot first close snapshot open image close start wait close close", true},
        {"nor the image name's short form be made", Op::GetShortPathNameW, 1,
         ERROR_ACCESS_DENIED,
         "snapshot first close snapshot open image close render short start wait close close",
         true},
        {"the faithfulness test fails", Op::WideCharToMultiByte, 1, ERROR_NO_UNICODE_TRANSLATION,
         "snapshot first close snapshot module wide render close start wait close close"},
        {"no short form", Op::GetShortPathNameW, 1, ERROR_ACCESS_DENIED,
         "snapshot first close snapshot module wide render short close start wait close close"},
        {"the short form cannot be converted", Op::WideCharToMultiByte, 2,
         ERROR_NO_UNICODE_TRANSLATION,
         "snapshot first close snapshot module wide render short render close start wait close "
         "close"},
        {"Setup cannot be started", Op::CreateProcessA, 1, ERROR_FILE_NOT_FOUND,
         "snapshot first close snapshot module wide render short render copy copy close start"},
    };
    const std::wstring folder = scratch.WidePath() + L"Zażółć gęślą";
    const std::string shortFolder = MakeWideDirectory(folder);
    WriteFile(shortFolder + "\\installer.exe", "");
    WriteFile(shortFolder + "\\services.xml", "installer's");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Prepare(folder + L"\\installer.exe");
        fault::FailCalls(c.op, c.first, 1, c.error);
        if (c.moduleListUnreadable) {
            fault::FailCalls(Op::CreateToolhelp32Snapshot, 2, 1, ERROR_PARTIAL_COPY);
        }

        RunInstallMode();

        EXPECT_EQ(DescribeCalls(), c.calls);
        for (const auto& [id, access] : fault::OpenedProcesses()) {
            EXPECT_EQ(id, PARENT_ID);
            EXPECT_EQ(access, static_cast<unsigned long>(PROCESS_QUERY_LIMITED_INFORMATION));
        }
        const bool copied = std::string(c.calls).find("copy") != std::string::npos;
        EXPECT_EQ(FileExists("services.xml"), copied);
        EXPECT_TRUE(fault::MessageBoxes().empty());
        ::DeleteFileA("services.xml");
    }
}

// Fails the first call, then the second, and so on until a run needs no fault, with the parent's
// module list readable and with the parent process asked instead: whatever fails, every snapshot
// or process handle that was opened is closed before anything else is opened or started, and a
// setup program that was started is waited for and both its handles are closed.
TEST_F(InstallMode, EveryFailingCallLeavesNothingOpen)
{
    for (unsigned n = 1, road = 0; road < 2; ++n) {
        SCOPED_TRACE((road == 0 ? "module list, failing call " : "parent process, failing call ") +
                     std::to_string(n));
        Prepare(scratch.Path() + "installer\\installer.exe");
        if (road == 1) fault::FailCalls(Op::CreateToolhelp32Snapshot, 2, 1, ERROR_PARTIAL_COPY);
        fault::FailOperationNumber(n, ERROR_ACCESS_DENIED);

        RunInstallMode();

        const std::vector<Op>& calls = fault::CallOrder();
        bool handleOpen = false;
        unsigned snapshots = 0;
        for (unsigned i = 0; i < calls.size(); ++i) {
            const bool refused = road == 1 && calls[i] == Op::CreateToolhelp32Snapshot &&
                                 ++snapshots == 2;
            const bool failed = i + 1 == n || refused;
            if (calls[i] == Op::CreateToolhelp32Snapshot || calls[i] == Op::OpenProcess) {
                ASSERT_FALSE(handleOpen) << "a second handle while one is open";
                handleOpen = !failed;
            } else if (calls[i] == Op::CloseHandle && handleOpen) {
                handleOpen = false;
            } else if (calls[i] == Op::CreateProcessA) {
                ASSERT_FALSE(handleOpen) << "Setup started with a handle open";
                const std::vector<Op> rest(calls.begin() + i + 1, calls.end());
                const std::vector<Op> waitAndClose = {Op::WaitForSingleObject, Op::CloseHandle,
                                                      Op::CloseHandle};
                EXPECT_EQ(rest, failed ? std::vector<Op>() : waitAndClose);
                break;
            }
        }
        EXPECT_FALSE(handleOpen);
        // Only a missing process list or a failed start itself leaves Setup unstarted.
        const bool startFailed = n <= calls.size() && calls[n - 1] == Op::CreateProcessA;
        EXPECT_EQ(fault::ProcessStarts().size(), n == 1 || startFailed ? 0u : 1u);
        if (fault::FailableOperations() < n) {  // this run had no fault left to inject
            ++road;
            n = 0;
        }
    }
}

}  // namespace
