// A start that brings a whole update (new launcher, patch tree) and a connection rewrite, run
// once to count its platform operations and then once for every k with the k-th operation
// failing. After each faulted run nothing may be lost: every file of the tree exists exactly
// once, whole; the new launcher is still somewhere; the launcher is the old or the new one;
// "update.bat" stays while part of the tree waits; the connection list is the old or the
// complete new one; the hosts file only grew by whole entries. A start without faults then
// starts the client and completes the merge. It keeps the old launcher only after a hand-over
// that stopped with the new one as the updater copy alone, which that start deletes.
//
// The three processes of the hand-over run in this one test process: each launch sequence runs
// with the module path of the process it stands for, and the fault platform records the start
// of its successor, which runs next.

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "config/known_servers.h"
#include "launcher/client.h"
#include "launcher/launch_sequence.h"
#include "tests/support/fault_platform.h"
#include "tests/support/scratch_directory.h"
#include "tests/wine/config_test_support.h"

namespace {

const std::string OLD_LAUNCHER = "MZ old launcher";
const std::string NEW_LAUNCHER = "MZ new launcher, a few bytes longer";

// The files of the patch tree below "patches", other than the new launcher, with their content.
const std::map<std::string, std::string>& TreeFiles()
{
    static const std::map<std::string, std::string> files = [] {
        std::map<std::string, std::string> f;
        for (const char* name : {"lib\\vt-client.jar", "lib\\vt-common.jar", "lib\\ext\\a.jar",
                                 "lib\\ext\\b.jar", "conf\\default-services.xml", "auth.conf",
                                 "cacerts", "docs\\guide\\index.html", "docs\\guide\\a.png",
                                 "docs\\readme.txt", "jre\\lib\\rt.jar", "jre\\bin\\java.dll",
                                 ".settings"}) {
            f[name] = std::string("new content of ") + name;
        }
        return f;
    }();
    return files;
}

const char OLD_LIST[] =
    "<connections>\n"
    "  <connection name=\"Main\">\n    <host>198.51.100.10</host>\n  </connection>\n"
    "  <connection name=\"Plant 7\">\n    <host>10.0.0.5</host>\n  </connection>\n"
    "  <connection name=\"Demo\">\n    <host>198.51.100.20</host>\n  </connection>\n"
    "  <connection name=\"Office\">\n    <host>10.0.0.6</host>\n  </connection>\n"
    "</connections>\n";
const char HOSTS_BEFORE[] = "127.0.0.1 localhost\r\n";

std::string InText(std::string text)  // as the C runtime writes it in text mode
{
    for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 2)) {
        text.replace(at, 1, "\r\n");
    }
    return text;
}

// The rewritten list when the named servers resolved (a failed lookup counts as not resolved).
std::string NewList(bool mainResolved = true, bool demoResolved = true)
{
    std::string list = OLD_LIST;
    const struct {
        KnownServer server;
        bool resolved;
    } servers[] = {{MAIN_SERVER, mainResolved}, {DEMO_SERVER, demoResolved}};
    for (const auto& [server, resolved] : servers) {
        if (!resolved) continue;
        list.replace(list.find(server.address), std::string(server.address).size(),
                     server.hostName);
    }
    return InText(list);
}

std::string HostsEntry(const std::string& address, const std::string& name,
                       const std::string& entryName)
{
    return "\r\n# Automatically inserted by Veltrix Console for connection '" + name + "':\r\n" +
           address + " " + entryName + ".vt\r\n";
}

enum class Outcome { ClientStarted, Failed };

class FaultSweep : public ::testing::Test {
protected:
    void LayOut()
    {
        WriteFile("VTConsole.exe", OLD_LAUNCHER);
        WriteFile("patches\\VTConsole.exe", NEW_LAUNCHER);
        for (const auto& [name, content] : TreeFiles()) WriteFile("patches\\" + name, content);
        WriteFile("update.bat", "@echo off\r\n");
        WriteFile("conf\\default-connections.xml", "<connections/>\r\n");
        WriteFile("conf\\connections.xml", InText(OLD_LIST));
        WriteFile(systemRoot.HostsFile(), HOSTS_BEFORE);
    }

    // Removes everything the last run left but the scratch system root.
    void Clear()
    {
        WIN32_FIND_DATAA entry;
        std::vector<std::string> names;
        HANDLE find = ::FindFirstFileA("*", &entry);
        do {
            names.push_back(entry.cFileName);
        } while (::FindNextFileA(find, &entry));
        ::FindClose(find);
        for (const std::string& name : names) {
            if (name == "." || name == ".." || name == "windows") continue;
            ::SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (!::DeleteFileA(name.c_str())) RemoveTree(name);
        }
    }

    // One double-click on VTConsole.exe: the launcher, and each process it hands over to.
    Outcome DoubleClick()
    {
        std::string program = "VTConsole.exe";
        fault::RecordProcessStarts();
        for (int process = 0; process < 4; ++process) {
            fault::SetModulePath(scratch.Path() + program);
            const std::size_t startsBefore = fault::ProcessStarts().size();
            try {
                const int exitCode = RunLaunchSequence("");
                const auto& starts = fault::ProcessStarts();
                const bool clientStarted = starts.size() > startsBefore &&
                                           starts.back().commandLine == CLIENT_COMMAND_LINE;
                return exitCode == 0 && clientStarted ? Outcome::ClientStarted : Outcome::Failed;
            } catch (const fault::ProcessExit&) {
                const std::string next = fault::ProcessStarts().back().commandLine;
                program = next.substr(next.rfind('\\') + 1);
            }
        }
        ADD_FAILURE() << "the hand-over went on and on";
        return Outcome::Failed;
    }

    // Everything of the update exists once, whole; the list and the hosts file are sound.
    // Returns whether the hand-over stopped where the next start drops the new launcher: the
    // updater copy could not start, or could not replace the launcher.
    bool ExpectNothingLost(unsigned k)
    {
        SCOPED_TRACE("after a fault in operation " + std::to_string(k));
        const std::string launcher = ReadFile("VTConsole.exe");
        EXPECT_TRUE(launcher == OLD_LAUNCHER || launcher == NEW_LAUNCHER);
        int newLaunchers = launcher == NEW_LAUNCHER;
        for (const char* copy : {"VTC_upd.exe", "patches\\VTConsole.exe"}) {
            if (FileExists(copy)) {
                EXPECT_EQ(ReadFile(copy), NEW_LAUNCHER) << copy;
                ++newLaunchers;
            }
        }
        EXPECT_GE(newLaunchers, 1) << "the new launcher is gone";

        for (const auto& [name, content] : TreeFiles()) {
            const bool merged = FileExists(name);
            const bool pending = FileExists("patches\\" + name);
            EXPECT_NE(merged, pending) << name << " must be in exactly one place";
            EXPECT_EQ(ReadFile(merged ? name : "patches\\" + name), content) << name;
        }
        if (DirectoryExists("patches")) {
            EXPECT_TRUE(FileExists("update.bat")) << "deleted before the merge was done";
        }

        const std::string list = ReadFile("conf\\connections.xml");
        EXPECT_TRUE(list == InText(OLD_LIST) || list == NewList() || list == NewList(true, false) ||
                    list == NewList(false, true))
            << list;

        std::string hosts = ReadFile(systemRoot.HostsFile());
        EXPECT_EQ(hosts.compare(0, sizeof HOSTS_BEFORE - 1, HOSTS_BEFORE), 0);
        hosts.erase(0, sizeof HOSTS_BEFORE - 1);
        // A server whose lookup failed has its address named in the hosts file instead.
        for (const std::string& entry : {HostsEntry(MAIN_SERVER.address, "Main", "Main"),
                                         HostsEntry("10.0.0.5", "Plant 7", "Plant-7"),
                                         HostsEntry(DEMO_SERVER.address, "Demo", "Demo"),
                                         HostsEntry("10.0.0.6", "Office", "Office")}) {
            if (hosts.compare(0, entry.size(), entry) == 0) hosts.erase(0, entry.size());
        }
        EXPECT_EQ(hosts, "") << "the hosts file grew by more than whole entries";

        return launcher == OLD_LAUNCHER && FileExists("VTC_upd.exe") &&
               !FileExists("patches\\VTConsole.exe");
    }

    void ExpectUpdateComplete(const std::string& launcher)
    {
        EXPECT_EQ(ReadFile("VTConsole.exe"), launcher);
        EXPECT_FALSE(FileExists("VTC_upd.exe"));
        EXPECT_FALSE(FileExists("VTConsole.tmp"));
        EXPECT_FALSE(DirectoryExists("patches"));
        for (const auto& [name, content] : TreeFiles()) EXPECT_EQ(ReadFile(name), content);
        EXPECT_EQ(ReadFile("conf\\connections.xml"), NewList());
    }

    void SetUp() override { Restart(); }
    void TearDown() override { fault::Reset(); }

    void Restart()
    {
        fault::Reset();
        fault::ResolveHostNames({MAIN_SERVER.hostName, DEMO_SERVER.hostName});
    }

    ScratchDirectory scratch;
    ScratchSystemRoot systemRoot{scratch};
};

// True when a line of the account names the operation and the error of the sweep's faults.
bool NamesFailure(const std::string& account, const char* operation)
{
    for (std::size_t begin = 0, end; begin < account.size(); begin = end + 1) {
        end = account.find('\n', begin);
        const std::string line = account.substr(begin, end - begin);
        if (line.find(operation) != std::string::npos &&
            line.find(": error 5 (") != std::string::npos) {
            return true;
        }
    }
    return false;
}

// The sweep runs without an account and with one, which must name every failure but its own
// and a failed close of a handle, and must change no outcome.
TEST_F(FaultSweep, NoSingleFailureLosesAnythingAndTheNextStartFinishes)
{
    for (const bool accountOn : {false, true}) {
        SCOPED_TRACE(accountOn ? "with the account on" : "with the account off");
        const std::string account = scratch.Path() + "windows\\account.log";
        _putenv(("VTCONSOLE_LOG=" + (accountOn ? account : std::string())).c_str());
        Clear();
        LayOut();
        Restart();
        ASSERT_EQ(DoubleClick(), Outcome::ClientStarted);
        ExpectUpdateComplete(NEW_LAUNCHER);
        // Its deletion may fail unnoticed, and a start without a patch tree leaves it alone, so
        // only a start without faults is sure to remove it.
        EXPECT_FALSE(FileExists("update.bat"));
        const unsigned operations = fault::FailableOperations();
        ASSERT_GT(operations, 50u);

        unsigned faulted = 0;
        for (unsigned k = 1; k <= operations; ++k) {
            Clear();
            LayOut();
            Restart();
            ::DeleteFileA(account.c_str());
            fault::FailOperationNumber(k, ERROR_ACCESS_DENIED);
            const Outcome outcome = DoubleClick();
            ++faulted;
            // The installation's lock and the account can only spare a start a failure: without
            // them, a start goes on.
            using fault::Op;
            const Op op = fault::CallOrder()[k - 1];
            const bool ownOperation = op == Op::GetFileAttributesExA || op == Op::AppendToFile;
            if (op == Op::CreateFileA || op == Op::GetFileIndex ||
                op == Op::LCMapStringA || op == Op::CreateMutexA || op == Op::WaitForSingleObject ||
                op == Op::ReleaseMutex || ownOperation) {
                EXPECT_EQ(outcome, Outcome::ClientStarted) << "fault in operation " << k;
            }
            if (accountOn && !ownOperation && op != Op::CloseHandle) {
                EXPECT_TRUE(NamesFailure(ReadFile(account), fault::OperationName(op)))
                    << "fault in operation " << k << ", " << fault::OperationName(op)
                    << ", is not in the account:\n" << ReadFile(account);
            }
            const bool handOverStopped = ExpectNothingLost(k);

            Restart();
            EXPECT_EQ(DoubleClick(), Outcome::ClientStarted) << "fault in operation " << k;
            ExpectUpdateComplete(handOverStopped ? OLD_LAUNCHER : NEW_LAUNCHER);
            if (HasFailure()) {
                ADD_FAILURE() << "first failing fault: operation " << k;
                break;
            }
        }
        std::printf("fault sweep, account %s: %u faulted runs of %u platform operations each\n",
                    accountOn ? "on" : "off", faulted, operations);
    }
    _putenv("VTCONSOLE_LOG=");
}

}  // namespace
