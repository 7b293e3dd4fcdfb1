// The connection list rewrite on a real file system, in the C runtime's real text mode, with
// name resolution and failures from the test platform.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/connections.h"
#include "config/known_servers.h"
#include "tests/support/fault_platform.h"
#include "tests/support/scratch_directory.h"
#include "tests/wine/config_test_support.h"

namespace {

const std::string LIST = "conf\\connections.xml";
const std::string TEMPORARY = "conf\\connections.tmp";

// Bare line feeds, and no line end after the last line.
const std::string SERVER_LIST =
    "<connections>\n"
    "<connection name=\"Main\">\n<host>198.51.100.10</host>\n</connection>\n"
    "<connection name=\"Plant 7\">\n<host>10.0.0.5</host>\n</connection>\n"
    "</connections>";
const std::string SERVER_LIST_REWRITTEN =
    "<connections>\r\n"
    "<connection name=\"Main\">\r\n<host>main.veltrix.example</host>\r\n</connection>\r\n"
    "<connection name=\"Plant 7\">\r\n<host>10.0.0.5</host>\r\n</connection>\r\n"
    "</connections>";
const std::string PLANT_ENTRY =
    "\r\n# Automatically inserted by Veltrix Console for connection 'Plant 7':\r\n"
    "10.0.0.5 Plant-7.vt\r\n";

FILETIME LastWrite(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    ::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
    return data.ftLastWriteTime;
}

class RewriteConnectionsTest : public ::testing::Test {
protected:
    void SetUp() override { fault::Reset(); }
    void TearDown() override { fault::Reset(); }

    std::string Hosts() const
    {
        return FileExists(systemRoot.HostsFile()) ? ReadFile(systemRoot.HostsFile()) : "";
    }

    ScratchDirectory scratch;
    ScratchSystemRoot systemRoot{scratch};
};

// The copy is written into a file of its own, never through a name someone left in its place.
TEST_F(RewriteConnectionsTest, RewritesInTextModeAndKeepsAnOpenLastLine)
{
    WriteFile(LIST, SERVER_LIST);
    fault::ResolveHostNames({MAIN_SERVER.hostName});
    WriteFile("system.ini", "system");
    ASSERT_TRUE(::CreateHardLinkA(TEMPORARY.c_str(), "system.ini", nullptr));

    RewriteConnections();

    EXPECT_EQ(ReadFile("system.ini"), "system");
    EXPECT_EQ(ReadFile(LIST), SERVER_LIST_REWRITTEN);
    EXPECT_FALSE(FileExists(TEMPORARY));
    EXPECT_EQ(Hosts(), PLANT_ENTRY);
    EXPECT_EQ(fault::MoveFlags(), std::vector<unsigned long>{MOVEFILE_REPLACE_EXISTING |
                                                             MOVEFILE_WRITE_THROUGH});
    EXPECT_EQ(fault::LookedUpHostNames(),
              (std::vector<std::string>{MAIN_SERVER.hostName, DEMO_SERVER.hostName}));
}

TEST_F(RewriteConnectionsTest, ListWithoutServerAddressesKeepsItsBytesAndTimeStamp)
{
    const std::string list = "<connection>\n<host>server.example</host>\n</connection>\n";
    WriteFile(LIST, list);
    FILETIME old = {0x12345678, 0x01d00000};
    HANDLE file = ::CreateFileA(LIST.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                                0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    ::SetFileTime(file, nullptr, nullptr, &old);
    ::CloseHandle(file);
    fault::ResolveHostNames({MAIN_SERVER.hostName, DEMO_SERVER.hostName});

    RewriteConnections();

    EXPECT_EQ(ReadFile(LIST), list);
    const FILETIME after = LastWrite(LIST);
    EXPECT_EQ(::CompareFileTime(&old, &after), 0);
    EXPECT_FALSE(FileExists(TEMPORARY));
    // The list, read before the lookups and again after them, and its temporary copy.
    EXPECT_EQ(fault::Calls(fault::Op::OpenTextFile), 2u);
    EXPECT_EQ(fault::Calls(fault::Op::CreateNewTextFile), 1u);
}

TEST_F(RewriteConnectionsTest, MakesTheListFromItsDefaultOnlyWhenItIsMissing)
{
    WriteFile("conf\\default-connections.xml", SERVER_LIST);
    RewriteConnections();
    EXPECT_EQ(ReadFile(LIST), SERVER_LIST);  // copied byte for byte; nothing resolved
    // Without resolution a server's address is just another numeric host.
    EXPECT_EQ(Hosts(),
              "\r\n# Automatically inserted by Veltrix Console for connection 'Main':\r\n"
              "198.51.100.10 Main.vt\r\n" + PLANT_ENTRY);

    WriteFile(LIST, "mine");
    RewriteConnections();
    EXPECT_EQ(ReadFile(LIST), "mine");
}

TEST_F(RewriteConnectionsTest, DoesNothingWithoutAList)
{
    RewriteConnections();
    EXPECT_FALSE(FileExists(LIST));
    EXPECT_EQ(fault::Calls(fault::Op::WSAStartup), 0u);
    EXPECT_TRUE(fault::LookedUpHostNames().empty());
}

TEST_F(RewriteConnectionsTest, KeepsTheListWholeWhenItCannotBeReplaced)
{
    struct Case {
        const char* what;
        bool holdOpen;
        bool failMove;
    };
    for (const Case& c : {Case{"held open by another program", true, false},
                          Case{"move fails", false, true}}) {
        SCOPED_TRACE(c.what);
        fault::Reset();
        fault::ResolveHostNames({MAIN_SERVER.hostName});
        WriteFile(LIST, SERVER_LIST);
        if (c.failMove) fault::FailAlways(fault::Op::MoveFileExA, ERROR_ACCESS_DENIED);
        // Another program reading the list, sharing it for reading only: the list can be read,
        // not replaced.
        HANDLE holder = c.holdOpen ? ::CreateFileA(LIST.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                                   nullptr, OPEN_EXISTING, 0, nullptr)
                                   : INVALID_HANDLE_VALUE;
        if (c.holdOpen) {
            ASSERT_NE(holder, INVALID_HANDLE_VALUE);
        }

        RewriteConnections();
        if (c.holdOpen) ::CloseHandle(holder);

        EXPECT_EQ(fault::Calls(fault::Op::MoveFileExA), 1u);
        EXPECT_EQ(ReadFile(LIST), SERVER_LIST);
        EXPECT_FALSE(FileExists(TEMPORARY));
    }
}

TEST_F(RewriteConnectionsTest, LeavesTheListAsItWasWhenTheScanDoesNotEndWell)
{
    struct Case {
        const char* what;
        std::string list;
        fault::Op op;
        unsigned call;
        std::string hosts;
    };
    const std::string stopping = "<connection name=\"Plant 7\">\n<host>10.0.0.5</host>\n"
                                 "<host>198.51.100.10</host>\n<connection name=\"B\">\n"
                                 "<host>10.0.0.6</host>\n</connection>\n";
    const Case cases[] = {
        // A second start while a connection is open: entries made before it stay.
        {"early stop", stopping, fault::Op::Count, 0, PLANT_ENTRY},
        {"early stop on a last line without a line end, which fgets reads to the end of file",
         stopping.substr(0, stopping.find("\n<host>10.0.0.6")), fault::Op::Count, 0, PLANT_ENTRY},
        {"read error", SERVER_LIST, fault::Op::ReadLinePiece, 3, ""},
        {"write fails", SERVER_LIST, fault::Op::WriteText, 7, PLANT_ENTRY},
        {"close of the copy fails", SERVER_LIST, fault::Op::CloseTextFile, 3, PLANT_ENTRY},
        {"flush of the copy fails", SERVER_LIST, fault::Op::FlushTextFile, 1, PLANT_ENTRY},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fault::Reset();
        ::DeleteFileA(systemRoot.HostsFile().c_str());
        fault::ResolveHostNames({MAIN_SERVER.hostName});
        if (c.op != fault::Op::Count) fault::FailCalls(c.op, c.call, 1, ERROR_DISK_FULL);
        WriteFile(LIST, c.list);

        RewriteConnections();

        EXPECT_EQ(ReadFile(LIST), c.list);
        EXPECT_FALSE(FileExists(TEMPORARY));
        EXPECT_EQ(Hosts(), c.hosts);
        EXPECT_EQ(fault::Calls(fault::Op::MoveFileExA), 0u);
    }
}

TEST_F(RewriteConnectionsTest, TemporaryCopyThatCannotBeMadeStillGivesHostsEntries)
{
    WriteFile(LIST, SERVER_LIST);
    fault::ResolveHostNames({MAIN_SERVER.hostName});
    fault::FailCalls(fault::Op::CreateNewTextFile, 1, 1, ERROR_ACCESS_DENIED);

    RewriteConnections();

    EXPECT_EQ(ReadFile(LIST), SERVER_LIST);
    EXPECT_EQ(Hosts(), PLANT_ENTRY);  // and none for the replaced main server
    EXPECT_EQ(fault::Calls(fault::Op::WriteText), 1u);
}

// Fails each failable operation of a rewrite in turn, as a disk or a system might: whatever
// fails, the list is either the old one or the new one, whole.
TEST_F(RewriteConnectionsTest, ListIsNeverLostWhateverStepFails)
{
    for (unsigned n = 1;; ++n) {
        SCOPED_TRACE(n);
        fault::Reset();
        ::DeleteFileA(TEMPORARY.c_str());
        WriteFile(LIST, SERVER_LIST);
        fault::ResolveHostNames({MAIN_SERVER.hostName});
        fault::FailOperationNumber(n, ERROR_DISK_FULL);

        RewriteConnections();

        const std::string list = ReadFile(LIST);
        EXPECT_TRUE(list == SERVER_LIST || list == SERVER_LIST_REWRITTEN) << list;
        if (fault::FailableOperations() < n) {
            EXPECT_EQ(list, SERVER_LIST_REWRITTEN);
            EXPECT_GT(n, 10u);
            break;
        }
        if (FileExists(TEMPORARY)) {
            // Only a failed deletion, the rewrite's last step, may leave the copy behind.
            EXPECT_EQ(fault::Calls(fault::Op::DeleteFileA), 1u);
            EXPECT_EQ(fault::FailableOperations(), n);
        }
    }
}

}  // namespace
