/* required_merge.exe PREFIX: the merge of "patches" into PREFIX (an absolute path ending in a
   backslash) with exactly the calls the launcher is bound to make, in their order: per entry
   its attributes read, a directory created, the enumeration opened anew after every merged
   entry, read-only bits cleared, each destination's attributes reset and the file moved, each
   emptied directory removed. Prints the seconds it took. */

#include <stdio.h>
#include <string.h>

#include "timing.h"

static int IsDirectoryLink(const char* name)
{
    return !strcmp(name, ".") || !strcmp(name, "..");
}

static void ClearReadOnly(const char* path, DWORD attributes)
{
    if (attributes & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesA(path, attributes & ~(DWORD)FILE_ATTRIBUTE_READONLY);
}

static int Merge(const char* source, const char* prefix)
{
    char path[MAX_PATH];
    WIN32_FIND_DATAA entry;
    const char* backslash = strchr(source, '\\');
    const DWORD attributes = GetFileAttributesA(source);
    if (attributes == INVALID_FILE_ATTRIBUTES) return 0;
    if (backslash != NULL) snprintf(path, sizeof path, "%s%s", prefix, backslash + 1);

    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        if (backslash == NULL) return 0;
        ClearReadOnly(source, attributes);
        SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
        return MoveFileExA(source, path, MOVEFILE_REPLACE_EXISTING);
    }

    if (backslash != NULL && !CreateDirectoryA(path, NULL) &&
        GetLastError() != ERROR_ALREADY_EXISTS) {
        return 0;
    }
    for (;;) {
        BOOL found = TRUE;
        int merged;
        HANDLE find;
        snprintf(path, sizeof path, "%s\\*", source);
        find = FindFirstFileA(path, &entry);
        if (find == INVALID_HANDLE_VALUE) return 0;
        while (found && IsDirectoryLink(entry.cFileName)) found = FindNextFileA(find, &entry);
        if (found) snprintf(path, sizeof path, "%s\\%s", source, entry.cFileName);
        merged = found && Merge(path, prefix);
        FindClose(find);
        if (!merged) break;
    }
    ClearReadOnly(source, attributes);
    return RemoveDirectoryA(source);
}

int main(int argc, char** argv)
{
    double started;
    int merged;
    if (argc != 2) return 2;
    started = Seconds();
    merged = Merge("patches", argv[1]);
    printf("%.9f\n", Seconds() - started);
    return merged ? 0 : 1;
}
