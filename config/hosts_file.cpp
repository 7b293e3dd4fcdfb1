#include "config/hosts_file.h"

#include "config/connections.h"
#include "config/hosts_entry.h"
#include "launcher/platform.h"
#include "launcher/text.h"

namespace {

constexpr char HOSTS_FILE_BELOW_SYSTEM_ROOT[] = "\\system32\\drivers\\etc\\hosts";

// The comment's fixed text, a name of at most one line piece, the address (itself a host value
// from one piece) and the entry name fit with room to spare.
constexpr std::size_t ENTRY_TEXT_SIZE = 3 * LINE_BUFFER_SIZE;

}  // namespace

int HostsFileHasEntry(const char* address, const char* path)
{
    FILE* file = platform::OpenTextFile(path, "r");
    if (file == nullptr) return 0;
    char piece[LINE_BUFFER_SIZE];
    int found = 0;
    while (found == 0 && platform::ReadLinePiece(piece, LINE_BUFFER_SIZE, file) != nullptr) {
        if (PieceHasHostsEntry(piece, address)) found = 1;
    }
    platform::CloseTextFile(file);
    return found;
}

void AddHostsEntry(const char* address, const char* connectionName)
{
    const char* systemRoot = platform::GetEnvironmentText("SystemRoot");
    if (systemRoot == nullptr) return;
    // A SystemRoot too long for the path buffer names no hosts file we could honestly open.
    char path[MAX_PATH];
    if (!JoinText(path, sizeof path, systemRoot, HOSTS_FILE_BELOW_SYSTEM_ROOT)) return;
    if (HostsFileHasEntry(address, path)) return;

    char text[ENTRY_TEXT_SIZE];
    if (!ComposeHostsEntry(text, sizeof text, address, EntryNameSource(address, connectionName))) {
        return;
    }
    FILE* file = platform::OpenTextFile(path, "a+");
    if (file == nullptr) return;
    platform::WriteText(text, file);
    platform::CloseTextFile(file);
}
