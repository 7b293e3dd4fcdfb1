#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "update/patch_paths.h"

namespace {

constexpr std::size_t PATH_BUFFER = 260;

// A heap buffer of exactly the path buffer's size, so that AddressSanitizer catches a write one
// byte past it; filled with a mark so a cut path would show.
struct PathBuffer {
    std::unique_ptr<char[]> bytes{new char[PATH_BUFFER]};
    PathBuffer() { std::fill(bytes.get(), bytes.get() + PATH_BUFFER, '#'); }
    char* get() { return bytes.get(); }
};

TEST(PathBelowTop, DropsOnlyTheFirstComponent)
{
    EXPECT_EQ(PathBelowTop("patches"), nullptr);
    EXPECT_STREQ(PathBelowTop("patches\\a"), "a");
    EXPECT_STREQ(PathBelowTop("patches\\lib\\x\\y.jar"), "lib\\x\\y.jar");
    EXPECT_STREQ(PathBelowTop("patches\\"), "");
}

TEST(BuildDestinationPath, JoinsPrefixAndTheRestWithNoSeparatorAdded)
{
    PathBuffer buffer;
    ASSERT_TRUE(
        BuildDestinationPath(buffer.get(), PATH_BUFFER, "C:\\App\\", "patches\\lib\\a.jar"));
    EXPECT_STREQ(buffer.get(), "C:\\App\\lib\\a.jar");
    ASSERT_TRUE(BuildDestinationPath(buffer.get(), PATH_BUFFER, "C:\\App", "patches\\a"));
    EXPECT_STREQ(buffer.get(), "C:\\Appa");
    EXPECT_FALSE(BuildDestinationPath(buffer.get(), PATH_BUFFER, "C:\\App\\", "patches"));
    EXPECT_STREQ(buffer.get(), "");
}

// Each path the merge builds, at the last length that fits and the first that does not.
TEST(PatchPaths, FitTheBufferWithTheTerminatorOrAreNotWrittenAtAll)
{
    struct Case {
        const char* name;
        bool (*build)(char*, std::size_t, std::size_t length, std::string& expected);
    };
    const Case builders[] = {
        {"destination",
         [](char* buffer, std::size_t size, std::size_t length, std::string& expected) {
             const std::string prefix = "C:\\" + std::string(length - 3 - 2, 'p') + "\\";
             expected = prefix + "x";
             return BuildDestinationPath(buffer, size, prefix.c_str(), "patches\\x");
         }},
        {"search pattern",
         [](char* buffer, std::size_t size, std::size_t length, std::string& expected) {
             const std::string source = "patches\\" + std::string(length - 8 - 2, 's');
             expected = source + "\\*";
             return BuildSearchPattern(buffer, size, source.c_str());
         }},
        {"child path",
         [](char* buffer, std::size_t size, std::size_t length, std::string& expected) {
             const std::string name(length - 8, 'n');
             expected = "patches\\" + name;
             return BuildChildPath(buffer, size, "patches", name.c_str());
         }},
    };
    for (const Case& c : builders) {
        for (std::size_t length : {PATH_BUFFER - 1, PATH_BUFFER, PATH_BUFFER + 40}) {
            SCOPED_TRACE(std::string(c.name) + ", " + std::to_string(length) + " characters");
            PathBuffer buffer;
            std::string expected;
            const bool built = c.build(buffer.get(), PATH_BUFFER, length, expected);
            ASSERT_EQ(expected.size(), length);
            if (length < PATH_BUFFER) {
                EXPECT_TRUE(built);
                EXPECT_EQ(std::string(buffer.get()), expected);
            } else {
                EXPECT_FALSE(built);
                EXPECT_STREQ(buffer.get(), "");
            }
        }
    }
}

TEST(SearchPatternFits, AgreesWithTheBuilder)
{
    for (std::size_t length : {0u, 1u, 256u, 257u, 258u, 300u}) {
        SCOPED_TRACE(length);
        const std::string source(length, 's');
        PathBuffer buffer;
        EXPECT_EQ(SearchPatternFits(PATH_BUFFER, source.c_str()),
                  BuildSearchPattern(buffer.get(), PATH_BUFFER, source.c_str()));
    }
    EXPECT_TRUE(SearchPatternFits(PATH_BUFFER, std::string(257, 's').c_str()));
    EXPECT_FALSE(SearchPatternFits(PATH_BUFFER, std::string(258, 's').c_str()));
}

TEST(IsSelfOrParent, StepsOverOnlyTheWholeNamesDotAndDotDot)
{
    EXPECT_TRUE(IsSelfOrParent("."));
    EXPECT_TRUE(IsSelfOrParent(".."));
    for (const char* name : {"...", ".x", "..x", "", "x.", ". "}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(IsSelfOrParent(name));
    }
}

}  // namespace
