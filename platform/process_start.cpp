#include "platform/process_start.h"

#include "platform/account.h"
#include "platform/platform.h"
#include "platform/text.h"

static_assert(sizeof(STARTUPINFOA) == 68, "the start-up record is the 32-bit one");

bool StartDetachedProcess(const char* commandLine)
{
    // CreateProcessA may write into the command line, so it gets a copy of its own.
    char writableCommandLine[MAX_PATH];
    if (!JoinText(writableCommandLine, sizeof writableCommandLine, commandLine, "")) return false;

    STARTUPINFOA startupInfo = {};
    PROCESS_INFORMATION processInformation = {};
    startupInfo.cb = sizeof startupInfo;
    if (!platform::CreateProcessA(nullptr, writableCommandLine, nullptr, nullptr, FALSE,
                                  CREATE_NEW_PROCESS_GROUP, nullptr, nullptr, &startupInfo,
                                  &processInformation)) {
        ReportFailure("not started: CreateProcessA %s", commandLine);
        return false;
    }
    Report("started %s (process %lu)", commandLine,
           static_cast<unsigned long>(processInformation.dwProcessId));
    platform::CloseHandle(processInformation.hThread);
    platform::CloseHandle(processInformation.hProcess);
    return true;
}
