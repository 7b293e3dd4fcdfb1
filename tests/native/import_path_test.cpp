#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "install/import_path.h"

namespace {

struct Placement {
    const char* what;
    std::string path;
    std::size_t size;
    const char* name;
    bool placed;
    std::string result;
};

TEST(PlaceFileName, PlacesTheWholeNameOrNone)
{
    const std::string dir = "C:\\Setup\\";  // 9 characters
    const Placement cases[] = {
        {"replaces the file name", dir + "installer.exe", 64, "services.xml", true,
         dir + "services.xml"},
        {"fills the buffer to its last byte", dir + "a.exe", 22, "services.xml", true,
         dir + "services.xml"},
        {"one byte short: no cut name", dir + "a.exe", 21, "services.xml", false, dir},
        {"only after the last backslash", "C:\\a\\b\\c.exe", 32, "x", true, "C:\\a\\b\\x"},
        {"a path that is only a directory", dir, 32, "x.xml", true, dir + "x.xml"},
        {"no backslash leaves the path as it was", "installer.exe", 64, "services.xml", false,
         "installer.exe"},
    };
    for (const Placement& c : cases) {
        SCOPED_TRACE(c.what);
        char buffer[64];
        std::memset(buffer, 'x', sizeof buffer);
        std::memcpy(buffer, c.path.c_str(), c.path.size() + 1);

        EXPECT_EQ(PlaceFileName(buffer, c.size, c.name), c.placed);

        EXPECT_EQ(std::string(buffer), c.result);
        // Nothing is written beyond the size the caller gave.
        for (std::size_t i = c.size; i < sizeof buffer; ++i) ASSERT_EQ(buffer[i], 'x') << i;
    }
}

TEST(PlaceFileName, ShorterNameStillFitsAfterALongerOneWasSkipped)
{
    // As in install mode: the names are placed one after the other into one path buffer.
    char path[260];
    const std::string dir = "Z:\\" + std::string(241, 'd') + "\\";
    ASSERT_EQ(dir.size(), 245u);  // room for 14 characters and the terminator
    std::memcpy(path, (dir + "installer.exe").c_str(), dir.size() + 14);

    EXPECT_FALSE(PlaceFileName(path, sizeof path, "connections.xml"));
    EXPECT_EQ(std::string(path), dir);
    EXPECT_TRUE(PlaceFileName(path, sizeof path, "services.xml"));
    EXPECT_EQ(std::string(path), dir + "services.xml");
    EXPECT_FALSE(PlaceFileName(path, sizeof path, "connections.xml"));
    EXPECT_EQ(std::string(path), dir);
}

}  // namespace
