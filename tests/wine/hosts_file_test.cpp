// Hosts entries in-process, for what a start under Wine cannot set up: a SystemRoot other than
// Wine's own, and a hosts file that cannot be opened for appending.

#include <gtest/gtest.h>

#include <string>

#include "config/hosts_file.h"
#include "tests/support/fault_platform.h"
#include "tests/support/scratch_directory.h"
#include "tests/wine/config_test_support.h"

namespace {

class HostsFileTest : public ::testing::Test {
protected:
    void SetUp() override { fault::Reset(); }
    void TearDown() override { fault::Reset(); }

    ScratchDirectory scratch;
    ScratchSystemRoot systemRoot{scratch};
};

TEST_F(HostsFileTest, AppendsInTextModeAndCreatesAMissingFile)
{
    AddHostsEntry("10.0.0.5", "Plant 7");
    AddHostsEntry("10.0.0.5", "Other");  // present now: nothing more
    AddHostsEntry("10.0.0.6", "");
    EXPECT_EQ(ReadFile(systemRoot.HostsFile()),
              "\r\n# Automatically inserted by Veltrix Console for connection 'Plant 7':\r\n"
              "10.0.0.5 Plant-7.vt\r\n"
              "\r\n# Automatically inserted by Veltrix Console for connection '10.0.0.6':\r\n"
              "10.0.0.6 10-0-0-6.vt\r\n");
}

TEST_F(HostsFileTest, FinishesAnOpenLastLineFirst)
{
    WriteFile(systemRoot.HostsFile(), "127.0.0.1 localhost");
    AddHostsEntry("1.2", "x");
    EXPECT_EQ(ReadFile(systemRoot.HostsFile()),
              "127.0.0.1 localhost\r\n"
              "# Automatically inserted by Veltrix Console for connection 'x':\r\n1.2 x.vt\r\n");
}

TEST_F(HostsFileTest, KnowsWhichLinesAreEntriesForTheAddress)
{
    struct Case {
        const char* content;
        int found;
    };
    const Case cases[] = {
        {"10.0.0.5\tname\r\n", 1},
        {"# comment\r\n10.0.0.5\r\n", 1},
        {"127.0.0.1 a\n10.0.0.5 b", 1},
        {"# 10.0.0.5 a\r\n  10.0.0.5 b\r\n10.0.0.55 c\r\n", 0},
        {"10.0.0.5", 0},  // no whitespace after the address: not an entry
        {"", 0},
    };
    for (const Case& c : cases) {
        WriteFile(systemRoot.HostsFile(), c.content);
        EXPECT_EQ(HostsFileHasEntry("10.0.0.5", systemRoot.HostsFile().c_str()), c.found)
            << c.content;
    }
    EXPECT_EQ(HostsFileHasEntry("10.0.0.5", (scratch.Path() + "missing").c_str()), 0);
}

TEST_F(HostsFileTest, AddsNothingWithoutAUsableSystemRoot)
{
    struct Case {
        const char* what;
        std::string systemRoot;
        unsigned opens;
    };
    // 27 characters follow SystemRoot in the path, and the terminator: 232 is the most.
    const Case cases[] = {
        {"not set", "", 0},
        {"233 characters", "C:\\" + std::string(230, 'w'), 0},
        {"232 characters", "C:\\" + std::string(229, 'w'), 2},  // tried: read, then append
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fault::Reset();
        ScratchSystemRoot::Set(c.systemRoot);
        AddHostsEntry("10.0.0.5", "Plant 7");
        EXPECT_EQ(fault::Calls(fault::Op::OpenTextFile), c.opens);
        EXPECT_FALSE(FileExists(systemRoot.HostsFile()));
    }
}

TEST_F(HostsFileTest, WritesNothingWhenTheFileCannotBeOpenedForAppending)
{
    WriteFile(systemRoot.HostsFile(), "127.0.0.1 localhost\r\n");
    fault::FailCalls(fault::Op::OpenTextFile, 2, 1, ERROR_ACCESS_DENIED);

    AddHostsEntry("10.0.0.5", "Plant 7");

    EXPECT_EQ(fault::Calls(fault::Op::OpenTextFile), 2u);
    EXPECT_EQ(fault::Calls(fault::Op::WriteText), 0u);
    EXPECT_EQ(ReadFile(systemRoot.HostsFile()), "127.0.0.1 localhost\r\n");
}

}  // namespace
