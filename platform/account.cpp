#include "platform/account.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/text.h"

namespace {

constexpr char OLD_ACCOUNT_SUFFIX[] = ".old";
constexpr int LINE_SIZE = 1024;

// The one piece of state of a process's account; only OpenAccount sets it, and a failed write
// switches it off for the rest of the process.
struct Account {
    bool on;
    DWORD started;
    char path[MAX_PATH];
};
Account account;

// A drive's path from its root, or a share's.
bool IsAbsolutePath(const char* path)
{
    return (path[0] != '\0' && path[1] == ':' && (path[2] == '\\' || path[2] == '/')) ||
           (path[0] == '\\' && path[1] == '\\');
}

// A start that adds hosts entries runs with an administrator's rights, and whoever sets the
// user's variables may have fewer: a path the value names must end in ".log", so that the account
// is never appended to a script, nor a program moved aside as an account grown too large.
bool NamesALog(const char* path)
{
    const std::size_t length = std::strlen(path);
    return length >= 4 && EqualsIgnoringAsciiCase(path + length - 4, ".log");
}

bool ChooseAccountFile(const char* value, char* path)
{
    if (IsAbsolutePath(value)) return NamesALog(value) && JoinText(path, MAX_PATH, value, "");
    char temporary[MAX_PATH];
    const DWORD length = platform::GetTempPathA(MAX_PATH, temporary);
    return length != 0 && length < MAX_PATH &&
           JoinText(path, MAX_PATH, temporary, ACCOUNT_FILE_NAME);
}

// Moves an account that has grown past its limit out of the way. True when the file may be
// written: it is small enough, or has just been moved, by this start or by another one. An
// account too large that cannot be moved, or whose old name would not fit, is not written.
bool KeepAccountSmall(const char* path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!platform::GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return true;
    if (data.nFileSizeHigh == 0 && data.nFileSizeLow <= ACCOUNT_SIZE_LIMIT) return true;
    char old[MAX_PATH];
    if (!JoinText(old, sizeof old, path, OLD_ACCOUNT_SUFFIX)) return false;
    return platform::MoveFileExA(path, old, MOVEFILE_REPLACE_EXISTING) ||
           platform::GetLastError() == ERROR_FILE_NOT_FOUND;
}

// Writes the text that format makes of arguments into the size bytes of text, terminated; a
// text too long for them ends in "..." rather than unmarked.
void FormatText(char* text, int size, const char* format, va_list arguments)
{
    // The C runtime's own formatting, which the program imports rather than carries.
    const int length = _vsnprintf(text, static_cast<std::size_t>(size), format, arguments);
    if (length < 0 || length >= size) {
        text[size - 4] = text[size - 3] = text[size - 2] = '.';
        text[size - 1] = '\0';
    }
}

// The time stamp and process that begin a line: far shorter than a line.
void FormatStamp(char* line, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    FormatText(line, LINE_SIZE, format, arguments);
    va_end(arguments);
}

void AppendLine(const char* format, va_list arguments)
{
    const DWORD error = platform::GetLastError();
    SYSTEMTIME now;
    platform::GetLocalTime(&now);
    char line[LINE_SIZE];
    FormatStamp(line, "%04u-%02u-%02u %02u:%02u:%02u.%03u [%lu] ", now.wYear, now.wMonth,
                now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds,
                static_cast<unsigned long>(platform::GetCurrentProcessId()));
    int length = 0;
    while (line[length] != '\0') ++length;
    FormatText(line + length, LINE_SIZE - length - 2, format, arguments);
    while (line[length] != '\0') ++length;
    line[length++] = '\r';
    line[length++] = '\n';
    if (!platform::AppendToFile(account.path, line, static_cast<DWORD>(length))) account.on = false;
    platform::SetLastError(error);
}

void AppendFailure(DWORD error, const char* format, va_list arguments)
{
    const DWORD found = platform::GetLastError();
    char what[LINE_SIZE / 2];
    FormatText(what, sizeof what, format, arguments);
    char text[256];
    DWORD length = platform::FormatMessageA(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK,
        nullptr, error, 0, text, sizeof text, nullptr);
    while (length > 0 && (text[length - 1] == ' ' || text[length - 1] == '.')) --length;
    text[length] = '\0';
    Report("%s: error %lu (%s)", what, static_cast<unsigned long>(error),
           length > 0 ? text : "no text for it");
    platform::SetLastError(found);
}

}  // namespace

void OpenAccount()
{
    account.on = false;
    const char* value = platform::GetEnvironmentText(ACCOUNT_VARIABLE);
    if (value == nullptr || value[0] == '\0') return;
    if (!ChooseAccountFile(value, account.path) || !KeepAccountSmall(account.path)) return;
    account.on = true;
    account.started = platform::GetTickCount();
}

bool AccountOn() { return account.on; }

DWORD AccountClock() { return account.on ? platform::GetTickCount() : 0; }

void Report(const char* format, ...)
{
    if (!account.on) return;
    va_list arguments;
    va_start(arguments, format);
    AppendLine(format, arguments);
    va_end(arguments);
}

void ReportFailure(const char* format, ...)
{
    if (!account.on) return;
    va_list arguments;
    va_start(arguments, format);
    AppendFailure(platform::GetLastError(), format, arguments);
    va_end(arguments);
}

void ReportError(DWORD error, const char* format, ...)
{
    if (!account.on) return;
    va_list arguments;
    va_start(arguments, format);
    AppendFailure(error, format, arguments);
    va_end(arguments);
}

void ReportExit(int exitCode, const char* message, const char* why)
{
    const unsigned long took = AccountClock() - account.started;
    if (message == nullptr) {
        Report("exit code %d after %lu ms", exitCode, took);
    } else {
        Report("exit code %d after %lu ms, \"%s\" shown: %s", exitCode, took, message, why);
    }
}
