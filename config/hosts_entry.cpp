#include "config/hosts_entry.h"

#include <cstring>

#include "platform/text.h"

namespace {

constexpr char COMMENT_START[] = "\n# Automatically inserted by Veltrix Console for connection '";
constexpr char COMMENT_END[] = "':\n";
constexpr char ENTRY_SUFFIX[] = ".vt";

// Spelled out rather than isalnum/isspace, whose answers for bytes of 128 and above follow the
// locale.
bool IsAsciiLetterOrDigit(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

bool IsEntrySeparator(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// A reader of the hosts file may break lines at any control character (a bare carriage return,
// a vertical tab, a form feed), and the rest of such a line would then read as an entry of its
// own: in the comment, the name keeps every byte but those, which become blanks.
void BlankControlCharacters(char* text, std::size_t length)
{
    for (std::size_t i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < ' ' || c == 127) text[i] = ' ';
    }
}

}  // namespace

const char* EntryNameSource(const char* address, const char* connectionName)
{
    return connectionName != nullptr && connectionName[0] != '\0' ? connectionName : address;
}

void MakeEntryName(const char* source, char* entryName)
{
    std::size_t i = 0;
    for (; i < ENTRY_NAME_SOURCE_LIMIT && source[i] != '\0'; ++i) {
        const unsigned char c = static_cast<unsigned char>(source[i]);
        entryName[i] = IsAsciiLetterOrDigit(c) ? source[i] : '-';
    }
    std::memcpy(entryName + i, ENTRY_SUFFIX, sizeof ENTRY_SUFFIX);
}

bool ComposeHostsEntry(char* text, std::size_t size, const char* address, const char* nameSource)
{
    char entryName[ENTRY_NAME_SIZE];
    MakeEntryName(nameSource, entryName);
    // Built in two bounded joins: the comment line, then the entry line after it.
    if (!JoinText(text, size, COMMENT_START, nameSource, COMMENT_END)) return false;
    const std::size_t commentLength = std::strlen(text);
    BlankControlCharacters(text + sizeof COMMENT_START - 1,
                           commentLength - (sizeof COMMENT_START - 1) - (sizeof COMMENT_END - 1));
    char* entry = text + commentLength;
    const std::size_t room = size - commentLength;
    if (!JoinText(entry, room, address, " ", entryName) || std::strlen(entry) + 1 >= room) {
        text[0] = '\0';
        return false;
    }
    std::memcpy(entry + std::strlen(entry), "\n", 2);
    return true;
}

bool PieceHasHostsEntry(const char* piece, const char* address)
{
    const std::size_t length = std::strlen(address);
    return std::strncmp(piece, address, length) == 0 && IsEntrySeparator(piece[length]);
}
