/* floor_merge.exe PREFIX: the least a merge of "patches" into PREFIX must do: one enumeration
   per directory, each directory created, each file moved once, each directory removed. Prints
   the seconds it took. */

#include <stdio.h>
#include <string.h>

#include "timing.h"

static int Merge(const char* source, const char* destination)
{
    char pattern[MAX_PATH], from[MAX_PATH], to[MAX_PATH];
    WIN32_FIND_DATAA entry;
    HANDLE find;
    CreateDirectoryA(destination, NULL);
    snprintf(pattern, sizeof pattern, "%s\\*", source);
    find = FindFirstFileA(pattern, &entry);
    if (find == INVALID_HANDLE_VALUE) return 0;
    do {
        if (!strcmp(entry.cFileName, ".") || !strcmp(entry.cFileName, "..")) continue;
        snprintf(from, sizeof from, "%s\\%s", source, entry.cFileName);
        snprintf(to, sizeof to, "%s\\%s", destination, entry.cFileName);
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (!Merge(from, to)) return 0;
        } else if (!MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING)) {
            return 0;
        }
    } while (FindNextFileA(find, &entry));
    FindClose(find);
    return RemoveDirectoryA(source);
}

int main(int argc, char** argv)
{
    double started;
    if (argc != 2) return 2;
    started = Seconds();
    if (!Merge("patches", argv[1])) return 1;
    printf("%.9f\n", Seconds() - started);
    return 0;
}
