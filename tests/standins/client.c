/* Stands in for the Java runtime (jre\bin\javaw.exe) and any other program the launcher starts.
   Appends one line to the file named by VT_STANDIN_LOG: its own executable's name, its command
   line, its current directory and a high-resolution time stamp, then ends with exit code 0. */

#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR arguments, int show)
{
    char directory[MAX_PATH], module[MAX_PATH];
    LARGE_INTEGER now, frequency;
    const char* log = getenv("VT_STANDIN_LOG");
    FILE* file;
    (void)instance; (void)previous; (void)arguments; (void)show;

    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    GetCurrentDirectoryA(MAX_PATH, directory);
    GetModuleFileNameA(NULL, module, MAX_PATH);
    file = fopen(log ? log : "standin.log", "ab");
    if (file == NULL) return 2;
    fprintf(file, "started|%s|%s|%s|%lld|%lld\n", strrchr(module, '\\') + 1, GetCommandLineA(),
            directory, (long long)now.QuadPart, (long long)frequency.QuadPart);
    fclose(file);
    return 0;
}
