/* Makes the starts of a double-click repeated because nothing seemed to happen:
   rush.exe COUNT PROGRAM  starts PROGRAM (no arguments, creation flags 0) COUNT times back to
   back, without waiting in between, then waits for all and prints their exit codes on one line
   in the order made, 99 for a start that could not be made. */

#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv)
{
    HANDLE processes[8];
    int count = argc == 3 ? atoi(argv[1]) : 0, i;
    if (count < 1 || count > 8) return 3;
    for (i = 0; i < count; ++i) {
        char command[MAX_PATH];
        STARTUPINFOA startupInfo;
        PROCESS_INFORMATION process;
        ZeroMemory(&startupInfo, sizeof startupInfo);
        startupInfo.cb = sizeof startupInfo;
        lstrcpynA(command, argv[2], sizeof command);
        processes[i] = CreateProcessA(NULL, command, NULL, NULL, FALSE, 0, NULL, NULL,
                                      &startupInfo, &process) ? process.hProcess : NULL;
        if (processes[i] != NULL) CloseHandle(process.hThread);
    }
    for (i = 0; i < count; ++i) {
        DWORD exitCode = 99;
        if (processes[i] != NULL) {
            WaitForSingleObject(processes[i], INFINITE);
            GetExitCodeProcess(processes[i], &exitCode);
        }
        printf("%s%lu", i > 0 ? " " : "", exitCode);
    }
    printf("\n");
    return 0;
}
