/* Stands in for the installer that runs the launcher in install mode. Lives in a directory of
   its own, beside the installer's services.xml and connections.xml, and is the launcher's
   parent process for as long as the launcher runs.

   installer.exe DIRECTORY COMMAND...  starts COMMAND (e.g. "Z:\app\VTConsole.exe --install")
   with DIRECTORY as its current directory and creation flags 0, waits for it to end, appends
   "waited|installer.exe|COMMAND|DIRECTORY|ticks|frequency" to the file named by VT_STANDIN_LOG
   and ends with COMMAND's exit code (99 when it could not be started).
   installer.exe --can-read-modules  ends with 0 when this Wine can read a process's module list
   (the launcher needs it to find this directory), 1 when it cannot (Wine under qemu-user). */

#include <windows.h>
#include <tlhelp32.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int CanReadModules(void)
{
    MODULEENTRY32 module;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, GetCurrentProcessId());
    int readable;
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    memset(&module, 0, sizeof module);
    module.dwSize = sizeof module;
    readable = Module32First(snapshot, &module) != 0;
    CloseHandle(snapshot);
    return readable;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR arguments, int show)
{
    char directory[MAX_PATH];
    char* command;
    size_t length;
    STARTUPINFOA startupInfo;
    PROCESS_INFORMATION process;
    DWORD exitCode = 99;
    LARGE_INTEGER now, frequency;
    const char* log = getenv("VT_STANDIN_LOG");
    FILE* file;
    (void)instance; (void)previous; (void)show;

    if (strcmp(arguments, "--can-read-modules") == 0) return CanReadModules() ? 0 : 1;

    length = strcspn(arguments, " ");
    if (length >= sizeof directory || arguments[length] == '\0') return 98;
    memcpy(directory, arguments, length);
    directory[length] = '\0';
    command = arguments + length + 1;

    memset(&startupInfo, 0, sizeof startupInfo);
    startupInfo.cb = sizeof startupInfo;
    if (CreateProcessA(NULL, command, NULL, NULL, FALSE, 0, NULL, directory, &startupInfo,
                       &process)) {
        WaitForSingleObject(process.hProcess, INFINITE);
        GetExitCodeProcess(process.hProcess, &exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }

    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    file = fopen(log ? log : "standin.log", "ab");
    if (file != NULL) {
        fprintf(file, "waited|installer.exe|%s|%s|%lld|%lld\n", command, directory,
                (long long)now.QuadPart, (long long)frequency.QuadPart);
        fclose(file);
    }
    return (int)exitCode;
}
