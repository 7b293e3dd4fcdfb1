#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "config/hosts_entry.h"

namespace {

std::string EntryName(const std::string& source)
{
    char name[ENTRY_NAME_SIZE];
    MakeEntryName(source.c_str(), name);
    return name;
}

std::string Entry(const char* address, const char* connectionName)
{
    char text[2048];
    EXPECT_TRUE(ComposeHostsEntry(text, sizeof text, address,
                                  EntryNameSource(address, connectionName)));
    return text;
}

TEST(HostsEntry, ComposesTheCommentAndTheEntryLine)
{
    EXPECT_EQ(Entry("10.0.0.5", "Plant 7"),
              "\n# Automatically inserted by Veltrix Console for connection 'Plant 7':\n"
              "10.0.0.5 Plant-7.vt\n");
    for (const char* empty : {"", static_cast<const char*>(nullptr)}) {
        EXPECT_EQ(Entry("10.0.0.5", empty),
                  "\n# Automatically inserted by Veltrix Console for connection '10.0.0.5':\n"
                  "10.0.0.5 10-0-0-5.vt\n");
    }
    // The comment carries the name as it is but for control characters, a line end it took in
    // included, which would start a line of their own for some readers.
    EXPECT_EQ(Entry("1.2", "a'b\r6.6.6.6 x #\v\f\x01\x1f\x7f\xe9\n"),
              "\n# Automatically inserted by Veltrix Console for connection "
              "'a'b 6.6.6.6 x #     \xe9 ':\n1.2 a-b-6-6-6-6-x---------.vt\n");
}

TEST(HostsEntry, RefusesATextBufferTooSmallRatherThanCuttingIt)
{
    const std::string whole = Entry("10.0.0.5", "Plant 7");
    for (std::size_t size : {whole.size(), whole.size() - 10, std::size_t{5}}) {
        std::string text(size + 1, '#');
        EXPECT_FALSE(ComposeHostsEntry(&text[0], size, "10.0.0.5", "Plant 7")) << size;
        EXPECT_EQ(text[0], '\0');
    }
    std::string text(whole.size() + 1, '#');
    EXPECT_TRUE(ComposeHostsEntry(&text[0], whole.size() + 1, "10.0.0.5", "Plant 7"));
}

TEST(HostsEntry, SanitisesEveryByteButAsciiLettersAndDigits)
{
    EXPECT_EQ(EntryName("Az09"), "Az09.vt");
    EXPECT_EQ(EntryName("a b_c.d-e/f@[`{~\x7f"), "a-b-c-d-e-f------.vt");
    // A multi-byte character gives one '-' per byte, whatever the locale says of its bytes.
    const char* locales[] = {"C", "C.UTF-8", "de_DE.ISO-8859-1"};
    for (const char* locale : locales) {
        std::setlocale(LC_ALL, locale);
        EXPECT_EQ(EntryName("K\xc3\xb6ln \xe2\x82\xac"), "K--ln----.vt") << locale;
        EXPECT_EQ(EntryName("\xc4\xe4\xdf"), "---.vt") << locale;
    }
    std::setlocale(LC_ALL, "C");
}

TEST(HostsEntry, UsesAtMost252BytesOfTheName)
{
    std::string name;
    for (int i = 0; i < 300; ++i) name += static_cast<char>(i % 2 ? 'b' : ' ');
    const std::string entryName = EntryName(name);
    EXPECT_EQ(entryName.size(), 255u);
    std::string expected;
    for (int i = 0; i < 252; ++i) expected += static_cast<char>(i % 2 ? 'b' : '-');
    EXPECT_EQ(entryName, expected + ".vt");
    EXPECT_EQ(EntryName(std::string(252, 'x')), std::string(252, 'x') + ".vt");
    EXPECT_EQ(EntryName(std::string(251, 'x')), std::string(251, 'x') + ".vt");

    const std::string text = Entry("10.0.0.5", name.c_str());
    EXPECT_NE(text.find("connection '" + name + "':\n"), std::string::npos);
    EXPECT_NE(text.find("\n10.0.0.5 " + expected + ".vt\n"), std::string::npos);
}

TEST(HostsEntry, FindsALineThatBeginsWithTheAddressAndWhitespace)
{
    struct Case {
        const char* piece;
        bool found;
    };
    const Case cases[] = {
        {"10.0.0.5 host\n", true},   {"10.0.0.5\thost\n", true}, {"10.0.0.5\n", true},
        {"10.0.0.5\r\n", true},      {"10.0.0.5\v", true},       {"10.0.0.5\f", true},
        {"10.0.0.5", false},          // piece ends with the address: no whitespace follows
        {"10.0.0.55 host\n", false}, {"10.0.0.5.1 h\n", false},  {" 10.0.0.5 host\n", false},
        {"# 10.0.0.5 host\n", false}, {"10.0.0. host\n", false}, {"", false},
        {"10.0.0.5#x\n", false},     {"10.0.0.5\x85\n", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PieceHasHostsEntry(c.piece, "10.0.0.5"), c.found) << c.piece;
    }
}

}  // namespace
