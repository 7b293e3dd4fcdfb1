/* Holds a file open, as a process that has not yet let go of it would:
   holder.exe FILE MILLISECONDS READY [RELEASE [SHARE]]
   Opens FILE (creating it when missing) with the share mode SHARE (a number, 0 when not given:
   nobody else may open it), then creates the file READY so that a test knows the hold has
   begun, and keeps FILE open for MILLISECONDS or until the file RELEASE appears. Ends with exit
   code 0, or 2 when FILE cannot be opened. */

#include <windows.h>
#include <stdlib.h>

static int Exists(const char* path)
{
    return path != NULL && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

int main(int argc, char** argv)
{
    HANDLE held, ready;
    DWORD start, hold, share;
    if (argc < 4) return 3;
    share = argc > 5 ? (DWORD)strtoul(argv[5], NULL, 0) : 0;
    held = CreateFileA(argv[1], GENERIC_READ, share, NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                       NULL);
    if (held == INVALID_HANDLE_VALUE) return 2;
    hold = (DWORD)strtoul(argv[2], NULL, 10);
    ready = CreateFileA(argv[3], GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                        NULL);
    if (ready != INVALID_HANDLE_VALUE) CloseHandle(ready);
    start = GetTickCount();
    while (GetTickCount() - start < hold && !Exists(argc > 4 ? argv[4] : NULL)) Sleep(50);
    CloseHandle(held);
    return 0;
}
