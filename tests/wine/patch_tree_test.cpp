// The patch tree merge in-process on real files. The failures of its table that Wine will not
// produce on its own (a directory that cannot be created or removed, a move that is refused)
// come from the test platform; a sweep fails each operation of a merge in turn and shows that
// nothing is lost and that the next start finishes the merge.

#include <gtest/gtest.h>

#include "platform/platform.h"  // <windows.h>, after <winsock2.h>
#include <sddl.h>               // needs <windows.h> first

#include <map>
#include <string>

#include "tests/support/fault_platform.h"
#include "tests/support/scratch_directory.h"
#include "update/patch_tree.h"

namespace {

// Every entry below directory: a file by its contents, a directory as "<dir>".
using Inventory = std::map<std::string, std::string>;

void TakeInventory(const std::string& directory, const std::string& relative, Inventory& found)
{
    WIN32_FIND_DATAA entry;
    HANDLE find = ::FindFirstFileA((directory + "\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        const std::string name = entry.cFileName;
        if (name == "." || name == "..") continue;
        const std::string path = relative.empty() ? name : relative + "\\" + name;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            found[path] = "<dir>";
            TakeInventory(directory + "\\" + name, path, found);
        } else {
            found[path] = ReadFile(directory + "\\" + name);
        }
    } while (::FindNextFileA(find, &entry));
    ::FindClose(find);
}

Inventory InventoryOf(const std::string& directory)
{
    Inventory found;
    TakeInventory(directory, "", found);
    return found;
}

DWORD AttributesOf(const std::string& path) { return ::GetFileAttributesA(path.c_str()); }

void MakeDirectory(const std::string& path, DWORD attributes = 0)
{
    WriteFile(path + "\\.placeholder", "");
    ::DeleteFileA((path + "\\.placeholder").c_str());
    if (attributes != 0) ::SetFileAttributesA(path.c_str(), attributes);
    // Wine drops a directory's read-only bit, but shows it on a directory that its access list
    // lets no one write to, since it makes that list the directory's Unix permissions.
    PSECURITY_DESCRIPTOR readOnly = nullptr;
    if ((attributes & FILE_ATTRIBUTE_READONLY) &&
        ::ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(A;;FRFX;;;WD)", SDDL_REVISION_1,
                                                              &readOnly, nullptr)) {
        ::SetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, readOnly);
        ::LocalFree(readOnly);
    }
}

class PatchTree : public ::testing::Test {
protected:
    void SetUp() override { fault::Reset(); }
    void TearDown() override { fault::Reset(); }

    int Merge() { return MovePatchTree("patches", scratch.Path().c_str()); }

    ScratchDirectory scratch;
};

TEST_F(PatchTree, MergesANestedTreeOpeningOneEnumerationPerEntryAndOneMore)
{
    WriteFile("keep.txt", "untouched");
    WriteFile("lib\\old.jar", "untouched");
    WriteFile("lib\\vt-client.jar", "old client");
    WriteFile("patches\\lib\\vt-client.jar", "new client");
    WriteFile("patches\\lib\\ext\\deep\\plugin.jar", "plugin");
    WriteFile("patches\\.x", "dot x");
    WriteFile("patches\\..x", "dot dot x");
    WriteFile("patches\\VTConsole.txt", "notes");
    MakeDirectory("patches\\empty");

    EXPECT_NE(Merge(), 0);

    const Inventory expected = {
        {"keep.txt", "untouched"},        {"lib", "<dir>"},
        {"lib\\old.jar", "untouched"},    {"lib\\vt-client.jar", "new client"},
        {"lib\\ext", "<dir>"},            {"lib\\ext\\deep", "<dir>"},
        {"lib\\ext\\deep\\plugin.jar", "plugin"},
        {".x", "dot x"},                  {"..x", "dot dot x"},
        {"VTConsole.txt", "notes"},       {"empty", "<dir>"},
    };
    EXPECT_EQ(InventoryOf(scratch.Path()), expected);
    // patches: 5 entries, lib: 2, ext: 1, deep: 1, empty: 0.
    EXPECT_EQ(fault::Calls(fault::Op::FindFirstFileA), 6u + 3u + 2u + 2u + 1u);
    EXPECT_EQ(fault::Calls(fault::Op::MoveFileExA), 5u);
}

TEST_F(PatchTree, EmptyTreeIsRemovedAndCountsAsMerged)
{
    MakeDirectory("patches");
    EXPECT_NE(Merge(), 0);
    EXPECT_FALSE(DirectoryExists("patches"));
    EXPECT_EQ(fault::Calls(fault::Op::FindFirstFileA), 1u);
}

TEST_F(PatchTree, ReadOnlyEntriesArriveWritableAndReplaceReadOnlyFiles)
{
    WriteFile("conf\\auth.conf", "old auth");
    ::SetFileAttributesA("conf\\auth.conf", FILE_ATTRIBUTE_READONLY);
    WriteFile("patches\\conf\\auth.conf", "new auth");
    ::SetFileAttributesA("patches\\conf\\auth.conf", FILE_ATTRIBUTE_READONLY);
    MakeDirectory("patches\\conf", FILE_ATTRIBUTE_READONLY);
    WriteFile("patches\\cacerts", "new certificates");
    ::SetFileAttributesA("patches\\cacerts", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);

    EXPECT_NE(Merge(), 0);

    EXPECT_FALSE(DirectoryExists("patches"));
    EXPECT_EQ(ReadFile("conf\\auth.conf"), "new auth");
    EXPECT_EQ(AttributesOf("conf\\auth.conf") & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_EQ(ReadFile("cacerts"), "new certificates");
    // Only the read-only bit is taken off; the rest of the attribute word travels along.
    EXPECT_EQ(AttributesOf("cacerts") & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN),
              static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN));
}

TEST_F(PatchTree, WritesBackTheAttributeWordLessOnlyTheReadOnlyBit)
{
    WriteFile("patches\\d\\f", "f");
    ::SetFileAttributesA("patches\\d\\f", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    MakeDirectory("patches\\d", FILE_ATTRIBUTE_READONLY);
    const DWORD fileWord = AttributesOf("patches\\d\\f");
    const DWORD directoryWord = AttributesOf("patches\\d");
    ASSERT_TRUE(fileWord & directoryWord & FILE_ATTRIBUTE_READONLY);
    // Stop before the moves and removals, so that the attributes can be seen as they were left.
    fault::FailAlways(fault::Op::MoveFileExA, ERROR_ACCESS_DENIED);

    EXPECT_EQ(Merge(), 0);

    const DWORD readOnly = FILE_ATTRIBUTE_READONLY;
    EXPECT_EQ(AttributesOf("patches\\d\\f"), fileWord & ~readOnly);
    EXPECT_EQ(AttributesOf("patches\\d"), directoryWord & ~readOnly);
}

// The failures that the merge reports, and what each leaves behind.
TEST_F(PatchTree, EachFailureReturnsZeroAndLeavesEverythingNotMovedInTheTree)
{
    struct Case {
        const char* name;
        fault::Op op;
        unsigned first;
        unsigned count;
        Inventory after;  // of the whole scratch directory
    };
    const Inventory untouched = {
        {"patches", "<dir>"}, {"patches\\d", "<dir>"},
        {"patches\\d\\a", "new a"}, {"patches\\d\\b", "new b"}, {"d", "<dir>"},
        {"d\\a", "old a"},
    };
    const Case cases[] = {
        {"attributes unreadable", fault::Op::GetFileAttributesA, 1, 1, untouched},
        {"destination directory not made", fault::Op::CreateDirectoryA, 1, 1, untouched},
        {"top enumeration not opened", fault::Op::FindFirstFileA, 1, 1, untouched},
        {"second file refused", fault::Op::MoveFileExA, 2, 1,
         // Which file goes first is the enumeration's order; one moved, one stayed.
         {}},
        {"emptied directory not removed", fault::Op::RemoveDirectoryA, 1, 1,
         {{"patches", "<dir>"}, {"patches\\d", "<dir>"}, {"d", "<dir>"},
          {"d\\a", "new a"}, {"d\\b", "new b"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        {
            ScratchDirectory fresh;
            fault::Reset();
            WriteFile("d\\a", "old a");
            WriteFile("patches\\d\\a", "new a");
            WriteFile("patches\\d\\b", "new b");
            MakeDirectory("patches\\d", FILE_ATTRIBUTE_READONLY);
            fault::FailCalls(c.op, c.first, c.count, ERROR_ACCESS_DENIED);

            EXPECT_EQ(MovePatchTree("patches", fresh.Path().c_str()), 0);

            const Inventory after = InventoryOf(fresh.Path());
            if (c.after.empty()) {
                const bool aFirst = after.count("patches\\d\\b") == 1;
                const Inventory oneMoved = {
                    {"patches", "<dir>"}, {"patches\\d", "<dir>"}, {"d", "<dir>"},
                    {aFirst ? "patches\\d\\b" : "patches\\d\\a", aFirst ? "new b" : "new a"},
                    {"d\\a", aFirst ? "new a" : "old a"}};
                Inventory expected = oneMoved;
                if (!aFirst) expected["d\\b"] = "new b";
                EXPECT_EQ(after, expected);
            } else {
                EXPECT_EQ(after, c.after);
            }
            // Whatever failed, a directory that was entered has lost its read-only bit.
            if (fault::Calls(fault::Op::FindFirstFileA) > 1) {
                EXPECT_EQ(AttributesOf("patches\\d") & FILE_ATTRIBUTE_READONLY, 0u);
            }
            // The next start, with the cause gone, finishes the merge.
            fault::Reset();
            EXPECT_NE(MovePatchTree("patches", fresh.Path().c_str()), 0);
            const Inventory merged = {{"d", "<dir>"}, {"d\\a", "new a"}, {"d\\b", "new b"}};
            EXPECT_EQ(InventoryOf(fresh.Path()), merged);
        }
    }
}

TEST_F(PatchTree, FailedMoveLeavesTheSourceWritableAndTheDestinationNormal)
{
    WriteFile("auth.conf", "old auth");
    ::SetFileAttributesA("auth.conf", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    WriteFile("patches\\auth.conf", "new auth");
    ::SetFileAttributesA("patches\\auth.conf", FILE_ATTRIBUTE_READONLY);
    fault::FailAlways(fault::Op::MoveFileExA, ERROR_ACCESS_DENIED);

    EXPECT_EQ(Merge(), 0);

    EXPECT_EQ(ReadFile("auth.conf"), "old auth");
    // Wine reports the archive bit for every file, so only the bits that were set are looked at.
    EXPECT_EQ(AttributesOf("auth.conf") & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN), 0u);
    EXPECT_EQ(ReadFile("patches\\auth.conf"), "new auth");
    EXPECT_EQ(AttributesOf("patches\\auth.conf") & FILE_ATTRIBUTE_READONLY, 0u);
}

TEST_F(PatchTree, TreeThatIsAFileOrMissingMovesNothing)
{
    EXPECT_EQ(Merge(), 0);

    WriteFile("patches", "not a tree");
    EXPECT_EQ(Merge(), 0);
    EXPECT_EQ(ReadFile("patches"), "not a tree");
    EXPECT_EQ(fault::Calls(fault::Op::MoveFileExA), 0u);
    EXPECT_EQ(fault::Calls(fault::Op::SetFileAttributesA), 0u);
}

TEST_F(PatchTree, DirectoryWhereTheApplicationHasAFileFailsAndKeepsBoth)
{
    WriteFile("lib", "a file, not a directory");
    WriteFile("patches\\lib\\vt-client.jar", "new client");
    WriteFile("patches\\lib\\z.jar", "z");

    EXPECT_EQ(Merge(), 0);

    EXPECT_EQ(ReadFile("lib"), "a file, not a directory");
    EXPECT_EQ(ReadFile("patches\\lib\\vt-client.jar"), "new client");
    EXPECT_EQ(ReadFile("patches\\lib\\z.jar"), "z");
    // The first move into it fails, and no other entry of that directory is tried.
    EXPECT_EQ(fault::Calls(fault::Op::MoveFileExA), 1u);
}

// A file of the tree whose destination path just fits and one whose path is one byte longer.
TEST_F(PatchTree, EntryWhosePathWouldNotFitStaysInTheTree)
{
    const std::string& prefix = scratch.Path();
    const std::size_t fits = MAX_PATH - 1 - prefix.size();
    const std::string longest(fits, 'f');
    const std::string tooLong(fits + 1, 'g');
    ASSERT_LE(tooLong.size(), 255u) << "a file name of the file system";
    WriteFile("patches\\" + longest, "fits");
    WriteFile("patches\\" + tooLong, "too long");

    EXPECT_EQ(Merge(), 0);

    const Inventory after = InventoryOf(prefix);
    EXPECT_EQ(after.at(longest), "fits");
    EXPECT_EQ(after.at("patches\\" + tooLong), "too long");
    // Nothing else, in particular no file under a cut name.
    EXPECT_EQ(after.size(), 3u);
}

// Fails the first, second, third ... operation of a merge until one runs without a fault: every
// failure leaves each file either in its new place or still in the tree, and the next start
// with nothing failing finishes the merge.
TEST_F(PatchTree, NothingIsLostWhicheverOperationFails)
{
    const Inventory merged = {
        {"keep.txt", "untouched"}, {"conf", "<dir>"}, {"conf\\auth.conf", "new auth"},
        {"lib", "<dir>"}, {"lib\\vt-client.jar", "new client"}, {"lib\\ext", "<dir>"},
        {"lib\\ext\\a.jar", "a"}, {"cacerts", "new certificates"},
    };
    for (unsigned n = 1;; ++n) {
        SCOPED_TRACE("operation " + std::to_string(n));
        ScratchDirectory fresh;
        fault::Reset();
        WriteFile("keep.txt", "untouched");
        WriteFile("conf\\auth.conf", "old auth");
        ::SetFileAttributesA("conf\\auth.conf", FILE_ATTRIBUTE_READONLY);
        WriteFile("patches\\conf\\auth.conf", "new auth");
        WriteFile("patches\\lib\\vt-client.jar", "new client");
        WriteFile("patches\\lib\\ext\\a.jar", "a");
        MakeDirectory("patches\\lib", FILE_ATTRIBUTE_READONLY);
        WriteFile("patches\\cacerts", "new certificates");
        ::SetFileAttributesA("patches\\cacerts", FILE_ATTRIBUTE_READONLY);
        fault::FailOperationNumber(n, n % 2 ? ERROR_ACCESS_DENIED : ERROR_SHARING_VIOLATION);

        const int result = MovePatchTree("patches", fresh.Path().c_str());
        const bool faultHit = fault::FailableOperations() >= n;

        const Inventory after = InventoryOf(fresh.Path());
        for (const auto& entry : merged) {
            if (entry.second == "<dir>") continue;
            const auto atPlace = after.find(entry.first);
            const auto inTree = after.find("patches\\" + entry.first);
            const bool moved = atPlace != after.end() && atPlace->second == entry.second;
            const bool waiting = inTree != after.end() && inTree->second == entry.second;
            EXPECT_TRUE(moved != waiting) << entry.first;
        }
        if (!faultHit) {
            EXPECT_NE(result, 0);
            EXPECT_EQ(after, merged);
            break;
        }
        // A fault in a call whose result is ignored may leave the merge successful.
        EXPECT_EQ(result == 0, after.count("patches") == 1);

        fault::Reset();
        if (after.count("patches")) EXPECT_NE(MovePatchTree("patches", fresh.Path().c_str()), 0);
        EXPECT_EQ(InventoryOf(fresh.Path()), merged);
        ASSERT_LT(n, 200u) << "the merge never ran without a fault";
    }
}

}  // namespace
