#include "platform/faithful_path.h"

#include "platform/account.h"

namespace {

enum class Rendering { Faithful, Unfaithful, Failed };

// Converts wide to the ANSI code page into the size bytes of narrow, with no best-fit
// look-alikes, and tells whether a default character had to stand in for one of its characters.
Rendering RenderInAnsiCodePage(const WCHAR* wide, char* narrow, int size)
{
    BOOL usedDefault = FALSE;
    if (platform::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, narrow, size,
                                      nullptr, &usedDefault) != 0) {
        return usedDefault ? Rendering::Unfaithful : Rendering::Faithful;
    }
    // UTF-8, the one ANSI code page without default characters, refuses both the flag and the
    // question; it renders every path.
    const DWORD error = platform::GetLastError();
    if ((error == ERROR_INVALID_PARAMETER || error == ERROR_INVALID_FLAGS) &&
        platform::WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow, size, nullptr, nullptr) != 0) {
        return Rendering::Faithful;
    }
    ReportFailure("WideCharToMultiByte");
    return Rendering::Failed;
}

bool WriteShortForm(char* path, const WCHAR* wide)
{
    WCHAR shortForm[MAX_PATH];
    // A result of MAX_PATH or more is the room that the short form would need.
    const DWORD length = platform::GetShortPathNameW(wide, shortForm, MAX_PATH);
    if (length == 0) ReportFailure("no short form: GetShortPathNameW");
    if (length >= MAX_PATH) Report("short form longer than %d characters", MAX_PATH - 1);
    if (length == 0 || length >= MAX_PATH) return false;
    // Where the volume keeps no short names, the short form is the long path itself.
    if (RenderInAnsiCodePage(shortForm, path, MAX_PATH) != Rendering::Faithful) {
        Report("no short form that the code page can spell");
        return false;
    }
    Report("short form %s stands in for a path the code page cannot spell", path);
    return true;
}

// Settles path by what the rendering of wide showed: kept, replaced by the short form, or
// emptied where neither names the file.
bool Settle(Rendering rendering, char* path, const WCHAR* wide)
{
    switch (rendering) {
    case Rendering::Faithful: return true;
    case Rendering::Unfaithful:
        if (WriteShortForm(path, wide)) return true;
        break;
    case Rendering::Failed: break;
    }
    path[0] = '\0';
    return false;
}

}  // namespace

bool EnsureFaithfulPath(char* path, const WCHAR* wide)
{
    char rendering[MAX_PATH];
    return Settle(RenderInAnsiCodePage(wide, rendering, sizeof rendering), path, wide);
}

bool WriteFaithfulPath(char* path, const WCHAR* wide)
{
    return Settle(RenderInAnsiCodePage(wide, path, MAX_PATH), path, wide);
}
