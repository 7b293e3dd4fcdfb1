#include "platform/text.h"

#include <cstring>

namespace {

char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

bool EqualsIgnoringAsciiCase(const char* a, const char* b)
{
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if (LowerAscii(*a) != LowerAscii(*b)) return false;
    }
    return *a == *b;
}

bool JoinText(char* buffer, std::size_t size, const char* first, const char* second,
              const char* third)
{
    const std::size_t lengths[] = {std::strlen(first), std::strlen(second), std::strlen(third)};
    if (size == 0) return false;
    if (lengths[0] + lengths[1] + lengths[2] >= size) {
        buffer[0] = '\0';
        return false;
    }
    char* end = buffer;
    const char* parts[] = {first, second, third};
    for (int i = 0; i < 3; ++i) {
        std::memmove(end, parts[i], lengths[i]);
        end += lengths[i];
    }
    *end = '\0';
    return true;
}
