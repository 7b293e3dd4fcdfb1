#include "update/patch_tree.h"

#include "platform/account.h"
#include "platform/platform.h"
#include "update/patch_paths.h"

namespace {

// What became of an entry of the tree. An entry that stays (a link, or a folder that holds
// nothing but what stays) counts as merged: nothing of it is touched, and every later start
// finds it and goes on in the same way.
enum class Merge { Failed, Done, Stays };

Merge MergeEntry(const char* source, const char* prefix, unsigned* moved);

// A junction or a symbolic link, which any user can make, may name any folder of the machine:
// entering it would move that folder's files into the installation, and removing it removes,
// under Wine, the folder it names. Its attribute word is its own on Windows, never its target's.
bool IsLink(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }

Merge LeaveLink(const char* source)
{
    Report("patch tree: %s is a link, left where it is", source);
    return Merge::Stays;
}

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

// Makes the destination directory path, or takes the one that is there; a link there would
// lead the files elsewhere, so the source directory then stays.
Merge EnterDestination(const char* source, const char* path)
{
    if (platform::CreateDirectoryA(path, nullptr)) return Merge::Done;
    if (platform::GetLastError() != ERROR_ALREADY_EXISTS) {
        ReportFailure("patch tree: CreateDirectoryA %s", path);
        return Merge::Failed;
    }
    // Where its attributes cannot be read, the entry there is taken for the folder, as always.
    const DWORD existing = platform::GetFileAttributesA(path);
    if (existing == INVALID_FILE_ATTRIBUTES) {
        ReportFailure("patch tree: taken for a folder: GetFileAttributesA %s", path);
    } else if (IsLink(existing)) {
        Report("patch tree: %s stays, its place %s is a link", source, path);
        return Merge::Stays;
    }
    return Merge::Done;
}

// Moves every entry of the directory source below prefix, then removes the emptied directory.
// path holds the destination directory, or nothing at the top of the tree; afterwards it serves
// as this level's buffer for the search pattern and each entry's source path.
Merge MergeDirectory(const char* source, const char* prefix, DWORD attributes, char* path,
                     bool hasDestination, unsigned* moved)
{
    // Checked before the destination directory is made, so that a tree too deep for the buffer
    // leaves nothing behind.
    if (!SearchPatternFits(MAX_PATH, source)) {
        ReportTooLong(source);
        return Merge::Failed;
    }
    if (hasDestination) {
        const Merge entered = EnterDestination(source, path);
        if (entered != Merge::Done) return entered;
    }

    WIN32_FIND_DATAA entry;
    // Every merged entry has left the directory, so each pass starts a new enumeration and takes
    // the first entry that remains. Entries that stay are taken once: an enumeration lists what
    // remains in the same order each time, so they are its first `staying`.
    unsigned staying = 0;
    bool entryFailed = false;
    for (;;) {
        if (!BuildSearchPattern(path, MAX_PATH, source)) return Merge::Failed;
        HANDLE find = platform::FindFirstFileA(path, &entry);
        if (find == INVALID_HANDLE_VALUE) {
            ReportFailure("patch tree: FindFirstFileA %s", path);
            return Merge::Failed;
        }

        Merge outcome = Merge::Stays;
        unsigned passed = 0;
        bool found = true;
        while (found) {
            if (!IsSelfOrParent(entry.cFileName) && passed++ >= staying) {
                if (!BuildChildPath(path, MAX_PATH, source, entry.cFileName)) {
                    ReportTooLong(source);
                    outcome = Merge::Failed;
                } else {
                    outcome = IsLink(entry.dwFileAttributes) ? LeaveLink(path)
                                                             : MergeEntry(path, prefix, moved);
                }
                if (outcome != Merge::Stays) break;
                ++staying;
            }
            found = platform::FindNextFileA(find, &entry) != FALSE;
        }
        // Whatever stops the enumeration counts as the end of the directory.
        if (!found && AccountOn() && platform::GetLastError() != ERROR_NO_MORE_FILES) {
            ReportFailure("patch tree: taken as the end of %s: FindNextFileA", source);
        }
        platform::FindClose(find);
        if (!found) break;
        if (outcome == Merge::Failed) {
            entryFailed = true;
            break;
        }
    }

    if (staying != 0 && !entryFailed) return Merge::Stays;
    ClearReadOnly(source, attributes);
    // Fails while a failed entry is still inside, which passes that failure up.
    if (platform::RemoveDirectoryA(source)) return Merge::Done;
    if (!entryFailed) ReportFailure("patch tree: RemoveDirectoryA %s", source);
    return Merge::Failed;
}

Merge MoveFileBelow(const char* source, DWORD attributes, const char* destination, unsigned* moved)
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
        return Merge::Failed;
    }
    ++*moved;
    return Merge::Done;
}

Merge MergeEntry(const char* source, const char* prefix, unsigned* moved)
{
    const DWORD attributes = platform::GetFileAttributesA(source);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        ReportFailure("patch tree: GetFileAttributesA %s", source);
        return Merge::Failed;
    }
    // The enumeration tells the links below the top; this catches the top, and an entry that
    // became a link since it was listed.
    if (IsLink(attributes)) return LeaveLink(source);

    char path[MAX_PATH];
    const bool hasDestination = PathBelowTop(source) != nullptr;
    // A destination that does not fit is not cut: the entry stays below the tree.
    if (hasDestination && !BuildDestinationPath(path, sizeof path, prefix, source)) {
        ReportTooLong(source);
        return Merge::Failed;
    }

    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        return MergeDirectory(source, prefix, attributes, path, hasDestination, moved);
    }
    // A file at the top of the tree has nowhere to go.
    if (!hasDestination) {
        Report("patch tree: %s is a file, not a folder", source);
        return Merge::Failed;
    }
    return MoveFileBelow(source, attributes, path, moved);
}

}  // namespace

int MovePatchTree(const char* source, const char* prefix)
{
    unsigned moved = 0;
    const int merged = MergeEntry(source, prefix, &moved) != Merge::Failed;
    Report("patch tree %s %s, files moved: %u", source, merged ? "merged" : "not merged", moved);
    return merged;
}
