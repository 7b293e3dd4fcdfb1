#include "update/patch_tree.h"

#include "platform/account.h"
#include "platform/platform.h"
#include "update/patch_paths.h"

namespace {

int MergeEntry(const char* source, const char* prefix, unsigned* moved);

// Writes back the attribute word as it was read, less the read-only bit, which would otherwise
// keep the entry from being moved or removed.
void ClearReadOnly(const char* path, DWORD attributes)
{
    if (attributes & FILE_ATTRIBUTE_READONLY) {
        const DWORD readOnly = FILE_ATTRIBUTE_READONLY;
        if (!platform::SetFileAttributesA(path, attributes & ~readOnly)) {
            ReportFailure("patch tree: SetFileAttributesA %s", path);
        }
    }
}

void ReportTooLong(const char* source)
{
    Report("patch tree: %s stays, a path below it is too long", source);
}

// Moves every entry of the directory source below prefix, then removes the emptied directory.
// path holds the destination directory, or nothing at the top of the tree; afterwards it serves
// as this level's buffer for the search pattern and each entry's source path.
int MergeDirectory(const char* source, const char* prefix, DWORD attributes, char* path,
                   bool hasDestination, unsigned* moved)
{
    // Checked before the destination directory is made, so that a tree too deep for the buffer
    // leaves nothing behind.
    if (!SearchPatternFits(MAX_PATH, source)) {
        ReportTooLong(source);
        return 0;
    }
    if (hasDestination && !platform::CreateDirectoryA(path, nullptr) &&
        platform::GetLastError() != ERROR_ALREADY_EXISTS) {
        ReportFailure("patch tree: CreateDirectoryA %s", path);
        return 0;
    }

    WIN32_FIND_DATAA entry;
    bool entryStays = false;
    for (;;) {
        // Every merged entry has left the directory, so each pass starts a new enumeration and
        // takes the first entry that remains.
        if (!BuildSearchPattern(path, MAX_PATH, source)) return 0;
        HANDLE find = platform::FindFirstFileA(path, &entry);
        if (find == INVALID_HANDLE_VALUE) {
            ReportFailure("patch tree: FindFirstFileA %s", path);
            return 0;
        }

        bool found = true;
        while (found && IsDirectoryLink(entry.cFileName)) {
            found = platform::FindNextFileA(find, &entry) != FALSE;
        }
        // Whatever stops the enumeration counts as the end of the directory.
        if (!found && AccountOn() && platform::GetLastError() != ERROR_NO_MORE_FILES) {
            ReportFailure("patch tree: taken as the end of %s: FindNextFileA", source);
        }
        const bool fits = found && BuildChildPath(path, MAX_PATH, source, entry.cFileName);
        if (found && !fits) ReportTooLong(source);
        const bool merged = fits && MergeEntry(path, prefix, moved) != 0;
        platform::FindClose(find);
        if (!merged) {  // the end of the directory, or an entry that stays where it is
            entryStays = found;
            break;
        }
    }

    ClearReadOnly(source, attributes);
    // Fails while a failed entry is still inside, which passes that failure up.
    const BOOL removed = platform::RemoveDirectoryA(source);
    if (!removed && !entryStays) ReportFailure("patch tree: RemoveDirectoryA %s", source);
    return removed;
}

int MoveFileBelow(const char* source, DWORD attributes, const char* destination, unsigned* moved)
{
    ClearReadOnly(source, attributes);
    // A read-only file already at the destination would refuse to be replaced; where there is
    // none yet, this simply fails.
    if (!platform::SetFileAttributesA(destination, FILE_ATTRIBUTE_NORMAL) && AccountOn() &&
        platform::GetLastError() != ERROR_FILE_NOT_FOUND) {
        ReportFailure("patch tree: SetFileAttributesA %s", destination);
    }
    if (!platform::MoveFileExA(source, destination, MOVEFILE_REPLACE_EXISTING)) {
        ReportFailure("patch tree: MoveFileExA %s to %s", source, destination);
        return 0;
    }
    ++*moved;
    return 1;
}

int MergeEntry(const char* source, const char* prefix, unsigned* moved)
{
    const DWORD attributes = platform::GetFileAttributesA(source);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        ReportFailure("patch tree: GetFileAttributesA %s", source);
        return 0;
    }

    char path[MAX_PATH];
    const bool hasDestination = PathBelowTop(source) != nullptr;
    // A destination that does not fit is not cut: the entry stays below the tree.
    if (hasDestination && !BuildDestinationPath(path, sizeof path, prefix, source)) {
        ReportTooLong(source);
        return 0;
    }

    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        return MergeDirectory(source, prefix, attributes, path, hasDestination, moved);
    }
    // A file at the top of the tree has nowhere to go.
    if (!hasDestination) {
        Report("patch tree: %s is a file, not a folder", source);
        return 0;
    }
    return MoveFileBelow(source, attributes, path, moved);
}

}  // namespace

int MovePatchTree(const char* source, const char* prefix)
{
    unsigned moved = 0;
    const int merged = MergeEntry(source, prefix, &moved);
    Report("patch tree %s %s, files moved: %u", source, merged ? "merged" : "not merged", moved);
    return merged;
}
