/* Stands in for the Java runtime (jre\bin\javaw.exe) and any other program the launcher starts.
   Appends one line to the file named by VT_STANDIN_LOG: its own executable's name, its command
   line, its current directory and a high-resolution time stamp, then ends with exit code 0. */

#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR arguments, int show)
{
    char directory[MAX_PATH], module[MAX_PATH], line[4 * MAX_PATH];
    LARGE_INTEGER now, frequency;
    const char* log = getenv("VT_STANDIN_LOG");
    HANDLE file;
    DWORD length, written = 0;
    (void)instance; (void)previous; (void)arguments; (void)show;

    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    GetCurrentDirectoryA(MAX_PATH, directory);
    GetModuleFileNameA(NULL, module, MAX_PATH);
    length = (DWORD)_snprintf(line, sizeof line, "started|%s|%s|%s|%lld|%lld\n",
                              strrchr(module, '\\') + 1, GetCommandLineA(), directory,
                              (long long)now.QuadPart, (long long)frequency.QuadPart);
    /* One write to the end, whoever else appends: the C runtime's append mode seeks to the end
       and then writes, and two stand-ins started at once could write over each other. */
    file = CreateFileA(log ? log : "standin.log", FILE_APPEND_DATA,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE || length >= sizeof line) return 2;
    WriteFile(file, line, length, &written, NULL);
    CloseHandle(file);
    return written == length ? 0 : 2;
}
