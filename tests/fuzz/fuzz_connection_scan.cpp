// The connection list scan over any list: the first byte says which servers resolved, the rest
// is the list, read in pieces as the launcher reads it. Checks that each piece stays within its
// buffer, that a replacement changes nothing but the address, and that every hosts entry the
// scan asks for is a numeric value whose entry text can be composed.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "config/connection_scan.h"
#include "config/hosts_entry.h"
#include "config/known_servers.h"

namespace {

void Check(bool condition)
{
    if (!condition) std::abort();
}

// One piece as fgets gives it: up to and including a line feed, at most size - 1 bytes.
std::size_t NextPiece(const std::uint8_t* data, std::size_t size, char* piece)
{
    std::size_t n = 0;
    while (n < size && n < LINE_BUFFER_SIZE - 1) {
        piece[n] = static_cast<char>(data[n]);
        if (data[n++] == '\n') break;
    }
    piece[n] = '\0';
    return n;
}

void CheckReplacement(const std::string& before, const std::string& after)
{
    for (const KnownServer* server : {&DEMO_SERVER, &MAIN_SERVER}) {
        const std::size_t at = before.find("<host>");
        if (at == std::string::npos) continue;
        std::string replaced = before;
        replaced.replace(at + 6, std::strlen(server->address), server->hostName);
        if (after == replaced) return;
    }
    // Unchanged only where the name would not have fitted.
    Check(after == before);
    Check(before.size() + std::strlen(MAIN_SERVER.hostName) - std::strlen(MAIN_SERVER.address) >=
          LINE_BUFFER_SIZE);
}

void CheckHostsEntry(const ConnectionScan& scan)
{
    Check(IsNumericHost(scan.host, std::strlen(scan.host)));
    static char text[3 * LINE_BUFFER_SIZE];
    const char* source = EntryNameSource(scan.host, scan.name);
    Check(ComposeHostsEntry(text, sizeof text, scan.host, source));
    const char* entry = std::strrchr(text, '\n');
    Check(entry != nullptr && entry[1] == '\0');
    char entryName[ENTRY_NAME_SIZE];
    MakeEntryName(source, entryName);
    const std::size_t length = std::strlen(entryName);
    Check(length >= 4 && length <= 255 && std::strcmp(entryName + length - 3, ".vt") == 0);
    for (std::size_t i = 0; i + 3 < length; ++i) {
        const char c = entryName[i];
        Check(c == '-' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') ||
              (c >= 'a' && c <= 'z'));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    ConnectionScan scan;
    scan.mainResolved = (data[0] & 1) != 0;
    scan.demoResolved = (data[0] & 2) != 0;
    ++data;
    --size;

    char piece[LINE_BUFFER_SIZE];
    while (size > 0) {
        const std::size_t taken = NextPiece(data, size, piece);
        data += taken;
        size -= taken;
        const std::string before = piece;
        const bool wasChanged = scan.changed;
        const PieceAction action = ScanPiece(scan, piece);
        Check(std::memchr(piece, '\0', LINE_BUFFER_SIZE) != nullptr);
        if (action == PieceAction::Stop) break;
        if (action == PieceAction::Replaced) {
            Check(scan.changed);
            CheckReplacement(before, piece);
        } else {
            Check(before == piece);
            Check(scan.changed == wasChanged);
        }
        if (action == PieceAction::AddHostsEntry) CheckHostsEntry(scan);
    }
    return 0;
}
