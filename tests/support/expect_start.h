#ifndef VTCONSOLE_TESTS_SUPPORT_EXPECT_START_H
#define VTCONSOLE_TESTS_SUPPORT_EXPECT_START_H

// The one recorded process start of a test, checked as the launcher makes every start it does
// not wait for: no application name, no inherited handles, a new process group, the 68-byte
// start-up record, and both handles closed at once.

#include <gtest/gtest.h>

#include <string>

#include "tests/support/fault_platform.h"

inline void ExpectOneDetachedStart(const std::string& commandLine)
{
    ASSERT_EQ(fault::ProcessStarts().size(), 1u);
    const fault::ProcessStart& start = fault::ProcessStarts()[0];
    EXPECT_EQ(start.commandLine, commandLine);
    EXPECT_EQ(start.creationFlags, static_cast<unsigned long>(CREATE_NEW_PROCESS_GROUP));
    EXPECT_FALSE(start.inheritHandles);
    EXPECT_FALSE(start.applicationNameGiven);
    EXPECT_EQ(start.startupInfoSize, 68u);
    EXPECT_EQ(fault::ClosedStandInHandles(), 2u);
}

#endif
