#ifndef VTCONSOLE_PLATFORM_ACCOUNT_H
#define VTCONSOLE_PLATFORM_ACCOUNT_H

// An account of each start for support staff: what the start found, what it did and, for
// everything that failed, the operation, the file or key, the system's error number and text.
// Written only on request, through the environment variable VTCONSOLE_LOG: unset or empty,
// nothing is opened or written; an absolute path names the file; any other value means
// %TEMP%\VTConsole.log. Processes the launcher starts inherit it, so one file holds a whole
// self-update.
//
// Each line is appended whole in one write, "YYYY-MM-DD hh:mm:ss.mmm [PID] text", so the lines
// of starts made at once never mix. An account that cannot be written is skipped without a word:
// it never changes what a start does. Reports made while it is off cost no call at all.

#include "platform/platform.h"

constexpr char ACCOUNT_VARIABLE[] = "VTCONSOLE_LOG";
constexpr char ACCOUNT_FILE_NAME[] = "VTConsole.log";
// An account found larger than this is moved to the same name with ".old" appended before the
// next process writes to it, so the two files never hold much more than twice this together.
constexpr DWORD ACCOUNT_SIZE_LIMIT = 1024 * 1024;

// Reads VTCONSOLE_LOG and settles where this process's account goes. First thing in a process.
void OpenAccount();
bool AccountOn();

// Milliseconds of the system's clock while the account is on; 0, without a call, while it is off.
DWORD AccountClock();

// Appends one line.
void Report(const char* format, ...) __attribute__((format(ms_printf, 1, 2)));

// Appends the line that format describes (what failed, the Win32 function, the file or key)
// followed by ": error N (the system's text)". ReportFailure reads the error from the thread;
// both leave the thread's last error as they found it.
void ReportFailure(const char* format, ...) __attribute__((format(ms_printf, 1, 2)));
void ReportError(DWORD error, const char* format, ...) __attribute__((format(ms_printf, 2, 3)));

// The last line of a process: its exit code and how long it ran, and for a failed start, the
// message it shows and why.
void ReportExit(int exitCode, const char* message = nullptr, const char* why = nullptr);

#endif
