/* Stands in for the installation's Setup.exe. Appends "started|..." to the file named by
   VT_STANDIN_LOG (its name, command line, current directory and a time stamp, as the client
   stand-in does), sleeps VT_SETUP_SLEEP_MS milliseconds (500 unless given), appends the same
   record as "ended|...", and ends with exit code 3, which the launcher must not care about. */

#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static void Record(const char* event)
{
    char directory[MAX_PATH], module[MAX_PATH];
    LARGE_INTEGER now, frequency;
    const char* log = getenv("VT_STANDIN_LOG");
    FILE* file;

    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    GetCurrentDirectoryA(MAX_PATH, directory);
    GetModuleFileNameA(NULL, module, MAX_PATH);
    file = fopen(log ? log : "standin.log", "ab");
    if (file == NULL) return;
    fprintf(file, "%s|%s|%s|%s|%lld|%lld\n", event, strrchr(module, '\\') + 1, GetCommandLineA(),
            directory, (long long)now.QuadPart, (long long)frequency.QuadPart);
    fclose(file);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR arguments, int show)
{
    const char* sleep = getenv("VT_SETUP_SLEEP_MS");
    (void)instance; (void)previous; (void)arguments; (void)show;

    Record("started");
    Sleep(sleep ? (DWORD)strtoul(sleep, NULL, 10) : 500);
    Record("ended");
    return 3;
}
