#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "config/connection_scan.h"
#include "config/known_servers.h"

namespace {

struct Outcome {
    PieceAction action;
    std::string piece;  // as it would be written on
};

// Feeds pieces through one scan, as the rewrite reads them, until the scan stops.
std::vector<Outcome> Scan(ConnectionScan& scan, const std::vector<std::string>& pieces)
{
    std::vector<Outcome> outcomes;
    for (const std::string& text : pieces) {
        char piece[LINE_BUFFER_SIZE];
        std::memcpy(piece, text.c_str(), text.size() + 1);
        const PieceAction action = ScanPiece(scan, piece);
        outcomes.push_back({action, piece});
        if (action == PieceAction::Stop) break;
    }
    return outcomes;
}

ConnectionScan OpenScan(bool mainResolved, bool demoResolved, const char* name = "Plant 7")
{
    ConnectionScan scan;
    scan.mainResolved = mainResolved;
    scan.demoResolved = demoResolved;
    Scan(scan, {std::string("<connection name=\"") + name + "\">\n"});
    return scan;
}

TEST(ScanPiece, TakesTheConnectionNameFromTheStartPiece)
{
    struct Case {
        const char* piece;
        const char* name;
    };
    const Case cases[] = {
        {"  <connection name=\"Plant 7\">\n", "Plant 7"},
        {"<connection id=\"4\" name=\"a&amp;b\" x=\"y\">\n", "a&amp;b"},
        {"<connection name=\"open to the end\n", "open to the end\n"},  // line end taken in
        {"<connection id=\"4\">\n", ""},                                  // no name marker
        {"<connection name =\"spaced\">\n", ""},                           // not the marker
        {"<connection>\n", ""},
        {"<connection> name=\"elsewhere\"\n", ""},  // the unnamed start never has a name
        {" name=\"before\" <connection >\n", ""},   // marker searched only after the start
        {"<connection name=\"\">\n", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.piece);
        ConnectionScan scan;
        const auto outcomes = Scan(scan, {c.piece});
        EXPECT_EQ(outcomes[0].action, PieceAction::Copy);
        EXPECT_TRUE(scan.connectionOpen);
        EXPECT_STREQ(scan.name, c.name);
    }
}

TEST(ScanPiece, FollowsTheRulesInTheirOrder)
{
    struct Case {
        const char* what;
        bool openBefore;
        const char* piece;
        PieceAction action;
        bool openAfter;
    };
    const Case cases[] = {
        {"end while open", true, "</connection>\n", PieceAction::Copy, false},
        {"end while closed", false, "</connection>\n", PieceAction::Copy, false},
        {"one-line connection is only an end", false,
         "<connection name=\"x\"><host>10.0.0.5</host></connection>\n", PieceAction::Copy, false},
        {"start while open stops", true, "<connection name=\"b\">\n", PieceAction::Stop, true},
        {"unnamed start while open stops", true, "<connection>\n", PieceAction::Stop, true},
        {"start with a host is only a start", false, "<connection><host>10.0.0.5</host>\n",
         PieceAction::Copy, true},
        {"host while closed stops", false, "<host>10.0.0.5</host>\n", PieceAction::Stop, false},
        {"longer tag names match nothing", false,
         "<connections><connectionx name=\"a\"></connections>\n", PieceAction::Copy, false},
        {"longer end tag matches nothing", true, "</connections>\n", PieceAction::Copy, true},
        {"host tag with attributes is no host", false, "<host id=\"1\">10.0.0.5</host>\n",
         PieceAction::Copy, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ConnectionScan scan;
        if (c.openBefore) Scan(scan, {"<connection name=\"a\">\n"});
        const auto outcomes = Scan(scan, {c.piece});
        EXPECT_EQ(outcomes[0].action, c.action);
        EXPECT_EQ(outcomes[0].piece, c.piece);
        EXPECT_EQ(scan.connectionOpen, c.openAfter);
    }
}

TEST(ScanPiece, DecidesEachHostValue)
{
    const std::string main = MAIN_SERVER.address;
    const std::string demo = DEMO_SERVER.address;
    struct Case {
        std::string piece;
        bool mainResolved;
        bool demoResolved;
        PieceAction action;
        std::string written;
        const char* hostsAddress;
    };
    const Case cases[] = {
        {"<host>10.0.0.5</host>\n", true, true, PieceAction::AddHostsEntry,
         "<host>10.0.0.5</host>\n", "10.0.0.5"},
        {"<host>1.2</host>\n", false, false, PieceAction::AddHostsEntry, "", "1.2"},
        {"<host>7</host>\n", false, false, PieceAction::AddHostsEntry, "", "7"},
        {"<host>...</host>\n", false, false, PieceAction::AddHostsEntry, "", "..."},
        {"<host> 10.0.0.5 </host>\n", true, true, PieceAction::Copy, "", nullptr},
        {"<host>10.0.0.5\n", true, true, PieceAction::Copy, "", nullptr},  // takes the line end
        {"<host></host>\n", true, true, PieceAction::Copy, "", nullptr},
        {"<host>10.0.0.5</host><host>x</host>\n", false, false, PieceAction::AddHostsEntry, "",
         "10.0.0.5"},
        {"<host>" + main + "</host>\n", true, false, PieceAction::Replaced,
         std::string("<host>") + MAIN_SERVER.hostName + "</host>\n", nullptr},
        {"\t<host>" + demo + "</host>\r\n", false, true, PieceAction::Replaced,
         std::string("\t<host>") + DEMO_SERVER.hostName + "</host>\r\n", nullptr},
        // Each address only under its own server's mark.
        {"<host>" + main + "</host>\n", false, true, PieceAction::AddHostsEntry, "",
         MAIN_SERVER.address},
        {"<host>" + demo + "</host>\n", true, false, PieceAction::AddHostsEntry, "",
         DEMO_SERVER.address},
        // One character more is another address.
        {"<host>" + main + "0</host>\n", true, true, PieceAction::AddHostsEntry, "",
         nullptr},
        {"<host>" + demo + ".</host>\n", true, true, PieceAction::AddHostsEntry, "", nullptr},
        {"<host>" + main + "</host>", true, true, PieceAction::Replaced,
         std::string("<host>") + MAIN_SERVER.hostName + "</host>", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.piece);
        ConnectionScan scan = OpenScan(c.mainResolved, c.demoResolved);
        const auto outcomes = Scan(scan, {c.piece});
        EXPECT_EQ(outcomes[0].action, c.action);
        EXPECT_EQ(outcomes[0].piece, c.written.empty() ? c.piece : c.written);
        EXPECT_EQ(scan.changed, c.action == PieceAction::Replaced);
        if (c.action == PieceAction::AddHostsEntry) {
            const std::string value = c.piece.substr(6, c.piece.find('<', 6) - 6);
            EXPECT_EQ(scan.host, c.hostsAddress ? std::string(c.hostsAddress) : value);
            EXPECT_STREQ(scan.name, "Plant 7");
        }
        EXPECT_TRUE(scan.connectionOpen);
    }
}

TEST(ScanPiece, KeepsTheNameForEveryHostUntilTheConnectionEnds)
{
    ConnectionScan scan = OpenScan(false, false, "Twice");
    auto outcomes = Scan(scan, {"<host>10.0.0.1</host>\n", "<port>1</port>\n",
                                "<host>10.0.0.2</host>\n"});
    EXPECT_EQ(outcomes[2].action, PieceAction::AddHostsEntry);
    EXPECT_STREQ(scan.host, "10.0.0.2");
    EXPECT_STREQ(scan.name, "Twice");

    outcomes = Scan(scan, {"</connection>\n", "<connection>\n", "<host>10.0.0.3</host>\n"});
    EXPECT_EQ(outcomes[2].action, PieceAction::AddHostsEntry);
    EXPECT_STREQ(scan.name, "");
}

TEST(IsNumericHost, AcceptsOnlyDigitsAndDots)
{
    EXPECT_TRUE(IsNumericHost("0123456789.", 11));
    EXPECT_TRUE(IsNumericHost(".", 1));
    EXPECT_FALSE(IsNumericHost("", 0));
    for (const char* value : {"1.2.3.4a", "-1", "1 ", "1,2", "1/2", "1:2", "\xb9"}) {
        EXPECT_FALSE(IsNumericHost(value, std::strlen(value))) << value;
    }
    EXPECT_TRUE(IsNumericHost("12x", 2));  // only the given length counts
}

class ReplaceHostAddressTest : public ::testing::Test {
protected:
    // A buffer of size bytes holding prefix, address and tail, with guard bytes after it that
    // must never change.
    void Fill(std::size_t size, const std::string& prefix, const std::string& address,
              const std::string& tail)
    {
        buffer.assign(size + GUARD, '#');
        const std::string line = prefix + address + tail;
        ASSERT_LT(line.size(), size);
        std::memcpy(buffer.data(), line.c_str(), line.size() + 1);
        begin = prefix.size();
        end = begin + address.size();
    }
    std::string Line() const { return buffer.data(); }
    bool GuardIntact(std::size_t size) const
    {
        return std::string(buffer.begin() + static_cast<long>(size), buffer.end()) ==
               std::string(GUARD, '#');
    }

    static constexpr std::size_t GUARD = 16;
    std::vector<char> buffer;
    std::size_t begin = 0;
    std::size_t end = 0;
};

TEST_F(ReplaceHostAddressTest, ReplacesOnlyTheAddressWhenTheResultFits)
{
    Fill(64, "<host>", "1.2.3.4", "</host>\n");
    ReplaceHostAddress(buffer.data(), 64, begin, end, "a.example");
    EXPECT_EQ(Line(), "<host>a.example</host>\n");

    Fill(64, "<host>", "198.51.100.10", "</host>\n");
    ReplaceHostAddress(buffer.data(), 64, begin, end, "x");
    EXPECT_EQ(Line(), "<host>x</host>\n");  // shorter names shrink the line

    Fill(64, "<host>", "1", "");
    ReplaceHostAddress(buffer.data(), 64, begin, end, "");
    EXPECT_EQ(Line(), "<host>");
}

TEST_F(ReplaceHostAddressTest, FitsExactlyTheRoomAndNotOneByteMore)
{
    const std::size_t size = 40;
    const std::string prefix = "<host>";
    const std::string tail = "</host>\n";
    const std::string address = "1.2.3.4";
    // The room is size - begin; the name, the tail and the terminator must fit in it.
    const std::size_t longest = size - prefix.size() - tail.size() - 1;
    for (std::size_t length : {longest - 1, longest, longest + 1, longest + 2, size}) {
        SCOPED_TRACE(length);
        Fill(size, prefix, address, tail);
        const std::string name(length, 'n');
        ReplaceHostAddress(buffer.data(), size, begin, end, name.c_str());
        EXPECT_EQ(Line(), length <= longest ? prefix + name + tail : prefix + address + tail);
        EXPECT_TRUE(GuardIntact(size));
    }
}

TEST_F(ReplaceHostAddressTest, LeavesAFullLineBufferUnchanged)
{
    // A piece of 1023 characters, as the rewrite reads the longest ones.
    const std::string prefix = std::string(LINE_BUFFER_SIZE - 1 - 13 - 7 - 6, ' ') + "<host>";
    Fill(LINE_BUFFER_SIZE, prefix, MAIN_SERVER.address, "</host>");
    ASSERT_EQ(Line().size(), LINE_BUFFER_SIZE - 1);
    const std::string before = Line();
    ReplaceHostAddress(buffer.data(), LINE_BUFFER_SIZE, begin, end, MAIN_SERVER.hostName);
    EXPECT_EQ(Line(), before);
    EXPECT_TRUE(GuardIntact(LINE_BUFFER_SIZE));
}

TEST_F(ReplaceHostAddressTest, IgnoresPositionsOutsideTheLine)
{
    struct Case {
        std::size_t begin;
        std::size_t end;
    };
    // end before begin, end past the terminator, begin past the buffer.
    for (const Case& c : {Case{5, 4}, Case{6, 30}, Case{70, 71}}) {
        Fill(32, "<host>", "1.2", "</host>");
        ReplaceHostAddress(buffer.data(), 32, c.begin, c.end, "n");
        EXPECT_EQ(Line(), "<host>1.2</host>");
        EXPECT_TRUE(GuardIntact(32));
    }
    // An unterminated buffer is not a line.
    buffer.assign(8 + GUARD, 'x');
    ReplaceHostAddress(buffer.data(), 8, 0, 1, "n");
    EXPECT_EQ(std::string(buffer.data(), 8), "xxxxxxxx");
}

}  // namespace
