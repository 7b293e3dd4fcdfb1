#include "config/hosts_file.h"

#include "config/connections.h"
#include "config/hosts_entry.h"
#include "platform/account.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace {

constexpr char HOSTS_FILE_BELOW_SYSTEM_ROOT[] = "\\system32\\drivers\\etc\\hosts";

// The comment's fixed text, a name of at most one line piece, the address (itself a host value
// from one piece) and the entry name fit with room to spare.
constexpr std::size_t ENTRY_TEXT_SIZE = 3 * LINE_BUFFER_SIZE;

}  // namespace

int HostsFileHasEntry(const char* address, const char* path)
{
    FILE* file = platform::OpenTextFile(path, "r");
    if (file == nullptr) {
        if (AccountOn() && platform::GetLastError() != ERROR_FILE_NOT_FOUND) {
            ReportFailure("hosts file not read for %s: fopen %s", address, path);
        }
        return 0;
    }
    char piece[LINE_BUFFER_SIZE];
    int found = 0;
    while (found == 0 && platform::ReadLinePiece(piece, LINE_BUFFER_SIZE, file) != nullptr) {
        if (PieceHasHostsEntry(piece, address)) found = 1;
    }
    if (found == 0 && !platform::AtEndOfFile(file)) {
        ReportFailure("hosts file not read for %s: fgets %s", address, path);
    }
    if (!platform::CloseTextFile(file)) ReportFailure("fclose %s", path);
    return found;
}

HostsEntry AddHostsEntry(const char* address, const char* connectionName)
{
    const char* systemRoot = platform::GetEnvironmentText("SystemRoot");
    // A SystemRoot too long for the path buffer names no hosts file we could honestly open.
    char path[MAX_PATH];
    if (systemRoot == nullptr ||
        !JoinText(path, sizeof path, systemRoot, HOSTS_FILE_BELOW_SYSTEM_ROOT)) {
        Report("no hosts entry for %s: no SystemRoot", address);
        return HostsEntry::NotAdded;
    }
    if (HostsFileHasEntry(address, path)) return HostsEntry::Present;

    char text[ENTRY_TEXT_SIZE];
    if (!ComposeHostsEntry(text, sizeof text, address, EntryNameSource(address, connectionName))) {
        Report("no hosts entry for %s: too long", address);
        return HostsEntry::NotAdded;
    }
    FILE* file = platform::OpenTextFile(path, "a+");
    if (file == nullptr) {
        ReportFailure("no hosts entry for %s: fopen %s", address, path);
        return HostsEntry::NotAdded;
    }
    bool written = platform::WriteText(text, file);
    if (!written) ReportFailure("hosts entry for %s cut: fputs %s", address, path);
    if (!platform::CloseTextFile(file)) {
        ReportFailure("hosts entry for %s cut: fclose %s", address, path);
        written = false;
    }
    return written ? HostsEntry::Appended : HostsEntry::NotAdded;
}
