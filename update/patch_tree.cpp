#include "update/patch_tree.h"

#include "launcher/platform.h"
#include "update/patch_paths.h"

namespace {

// Writes back the attribute word as it was read, less the read-only bit, which would otherwise
// keep the entry from being moved or removed.
void ClearReadOnly(const char* path, DWORD attributes)
{
    if (attributes & FILE_ATTRIBUTE_READONLY) {
        const DWORD readOnly = FILE_ATTRIBUTE_READONLY;
        platform::SetFileAttributesA(path, attributes & ~readOnly);
    }
}

// Moves every entry of the directory source below prefix, then removes the emptied directory.
// path holds the destination directory, or nothing at the top of the tree; afterwards it serves
// as this level's buffer for the search pattern and each entry's source path.
int MergeDirectory(const char* source, const char* prefix, DWORD attributes, char* path,
                   bool hasDestination)
{
    // Checked before the destination directory is made, so that a tree too deep for the buffer
    // leaves nothing behind.
    if (!SearchPatternFits(MAX_PATH, source)) return 0;
    if (hasDestination && !platform::CreateDirectoryA(path, nullptr) &&
        platform::GetLastError() != ERROR_ALREADY_EXISTS) {
        return 0;
    }

    WIN32_FIND_DATAA entry;
    for (;;) {
        // Every merged entry has left the directory, so each pass starts a new enumeration and
        // takes the first entry that remains.
        if (!BuildSearchPattern(path, MAX_PATH, source)) return 0;
        HANDLE find = platform::FindFirstFileA(path, &entry);
        if (find == INVALID_HANDLE_VALUE) return 0;

        bool found = true;
        while (found && IsDirectoryLink(entry.cFileName)) {
            found = platform::FindNextFileA(find, &entry) != FALSE;
        }
        const bool merged = found && BuildChildPath(path, MAX_PATH, source, entry.cFileName) &&
                            MovePatchTree(path, prefix) != 0;
        platform::FindClose(find);
        if (!merged) break;  // the end of the directory, or an entry that stays where it is
    }

    ClearReadOnly(source, attributes);
    // Fails while a failed entry is still inside, which passes that failure up.
    return platform::RemoveDirectoryA(source);
}

int MoveFileBelow(const char* source, DWORD attributes, const char* destination)
{
    ClearReadOnly(source, attributes);
    // A read-only file already at the destination would refuse to be replaced; where there is
    // none yet, this simply fails.
    platform::SetFileAttributesA(destination, FILE_ATTRIBUTE_NORMAL);
    return platform::MoveFileExA(source, destination, MOVEFILE_REPLACE_EXISTING);
}

}  // namespace

int MovePatchTree(const char* source, const char* prefix)
{
    const DWORD attributes = platform::GetFileAttributesA(source);
    if (attributes == INVALID_FILE_ATTRIBUTES) return 0;

    char path[MAX_PATH];
    const bool hasDestination = PathBelowTop(source) != nullptr;
    // A destination that does not fit is not cut: the entry stays below the tree.
    if (hasDestination && !BuildDestinationPath(path, sizeof path, prefix, source)) return 0;

    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        return MergeDirectory(source, prefix, attributes, path, hasDestination);
    }
    // A file at the top of the tree has nowhere to go.
    if (!hasDestination) return 0;
    return MoveFileBelow(source, attributes, path);
}
