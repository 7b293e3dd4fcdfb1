/* A double-click repeated because nothing seemed to happen: rush.exe COUNT PROGRAM... makes
   COUNT starts back to back, of the PROGRAMs in turn (no arguments, creation flags 0), waits for
   all and prints their exit codes on one line in the order made, 99 for a start that could not
   be made. VT_RUSH_GAP_MS, where set, is the time between two starts. */

#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv)
{
    PROCESS_INFORMATION processes[8];
    BOOL started[8];
    int count = argc >= 3 ? atoi(argv[1]) : 0, i;
    const char* gap = getenv("VT_RUSH_GAP_MS");
    if (count < 1 || count > 8) return 3;
    for (i = 0; i < count; ++i) {
        if (i > 0 && gap != NULL) Sleep((DWORD)atoi(gap));
        STARTUPINFOA startupInfo = {0};
        startupInfo.cb = sizeof startupInfo;
        started[i] = CreateProcessA(argv[2 + i % (argc - 2)], NULL, NULL, NULL, FALSE, 0, NULL,
                                    NULL, &startupInfo, &processes[i]);
    }
    for (i = 0; i < count; ++i) {
        DWORD exitCode = 99;
        if (started[i]) {
            WaitForSingleObject(processes[i].hProcess, INFINITE);
            GetExitCodeProcess(processes[i].hProcess, &exitCode);
        }
        printf("%s%lu", i > 0 ? " " : "", exitCode);
    }
    printf("\n");
    return 0;
}
