/* starter.exe PROGRAM: notes the time, starts PROGRAM (no arguments) in the current directory,
   waits for it to end and prints the time of the start, so that the client stand-in's own time
   stamp gives how long PROGRAM took to get the client started. */

#include <stdio.h>
#include <string.h>

#include "timing.h"

int main(int argc, char** argv)
{
    char commandLine[MAX_PATH];
    STARTUPINFOA startupInfo;
    PROCESS_INFORMATION process;
    double started;
    if (argc != 2 || strlen(argv[1]) >= sizeof commandLine) return 2;
    strcpy(commandLine, argv[1]);
    memset(&startupInfo, 0, sizeof startupInfo);
    startupInfo.cb = sizeof startupInfo;
    started = Seconds();
    if (!CreateProcessA(NULL, commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &startupInfo,
                        &process)) {
        return 3;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    printf("%.9f\n", started);
    return 0;
}
