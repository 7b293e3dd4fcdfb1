// Registry defaults in-process, with HKEY_CURRENT_USER sent to a scratch key, so that types and
// sizes are read back exactly and a key that cannot be opened can be tried.

#include <gtest/gtest.h>


#include <string>
#include <vector>

#include "config/registry_defaults.h"
#include "tests/support/fault_platform.h"
#include "tests/support/scratch_directory.h"

namespace {

const char* const PREFERENCES = "Software\\JavaSoft\\Prefs\\vt_2_0";
const char* const FEATURE =
    "Software\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\"
    "FEATURE_HTTP_USERNAME_PASSWORD_DISABLE";

struct Value {
    DWORD type;
    std::string data;
    bool operator==(const Value& other) const
    {
        return type == other.type && data == other.data;
    }
};

std::ostream& operator<<(std::ostream& out, const Value& value)
{
    return out << "type " << value.type << ", " << value.data.size() << " bytes";
}

const Value ABSENT = {REG_NONE, "<absent>"};

Value Sz(const std::string& text) { return {REG_SZ, std::string(text.c_str(), text.size() + 1)}; }
Value Dword(DWORD number)
{
    return {REG_DWORD, std::string(reinterpret_cast<const char*>(&number), sizeof number)};
}

class RegistryDefaultsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fault::Reset();
        scratchKey_ = "Software\\VTConsoleTests\\" + std::to_string(::GetCurrentProcessId());
        ASSERT_EQ(::RegCreateKeyA(HKEY_CURRENT_USER, scratchKey_.c_str(), &root_), ERROR_SUCCESS);
        ASSERT_EQ(::RegOverridePredefKey(HKEY_CURRENT_USER, root_), ERROR_SUCCESS);
    }
    void TearDown() override
    {
        fault::Reset();
        ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        ::RegCloseKey(root_);
        ::RegDeleteTreeA(HKEY_CURRENT_USER, scratchKey_.c_str());
    }

    Value Read(const char* key, const char* name) const
    {
        HKEY opened;
        if (::RegOpenKeyA(root_, key, &opened) != ERROR_SUCCESS) return ABSENT;
        DWORD type = 0;
        char data[64];
        DWORD size = sizeof data;
        const LONG result = ::RegQueryValueExA(opened, name, nullptr, &type,
                                               reinterpret_cast<BYTE*>(data), &size);
        ::RegCloseKey(opened);
        return result == ERROR_SUCCESS ? Value{type, std::string(data, size)} : ABSENT;
    }

    void Write(const char* key, const char* name, const Value& value) const
    {
        HKEY opened;
        ASSERT_EQ(::RegCreateKeyA(root_, key, &opened), ERROR_SUCCESS);
        ::RegSetValueExA(opened, name, 0, value.type,
                         reinterpret_cast<const BYTE*>(value.data.data()),
                         static_cast<DWORD>(value.data.size()));
        ::RegCloseKey(opened);
    }

    ScratchDirectory scratch;
    HKEY root_ = nullptr;
    std::string scratchKey_;
};

TEST_F(RegistryDefaultsTest, WritesMissingPreferencesAndKeepsPresentOnes)
{
    const Value browser = Sz("cmd \\c start iexplore");
    const Value index = Sz("1");
    ASSERT_EQ(browser.data.size(), 22u);
    struct Case {
        const char* what;
        Value browserBefore;
        Value indexBefore;
        Value browserAfter;
        Value indexAfter;
    };
    const Case cases[] = {
        {"no node at all", ABSENT, ABSENT, browser, index},
        {"empty strings count as missing", Sz(""), Sz(""), browser, index},
        {"no data counts as missing", {REG_BINARY, ""}, {REG_SZ, ""}, browser, index},
        {"one character is enough", Sz("x"), Sz("7"), Sz("x"), Sz("7")},
        {"the type is not looked at", Dword(5), {REG_BINARY, "ab"}, Dword(5),
         {REG_BINARY, "ab"}},
        {"each decided by itself", Sz("firefox"), Sz(""), Sz("firefox"), index},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ::RegDeleteTreeA(root_, "Software");
        if (!(c.browserBefore == ABSENT)) Write(PREFERENCES, "browser/For/Help", c.browserBefore);
        if (!(c.indexBefore == ABSENT)) {
            Write(PREFERENCES, "default/Login/Module/Index", c.indexBefore);
        }

        ApplyClientPreferenceDefaults();

        EXPECT_EQ(Read(PREFERENCES, "browser/For/Help"), c.browserAfter);
        EXPECT_EQ(Read(PREFERENCES, "default/Login/Module/Index"), c.indexAfter);
    }
}

TEST_F(RegistryDefaultsTest, ForcesTheFeatureValueToDwordZero)
{
    for (const Value& before : {ABSENT, Dword(1), Sz("1"), Value{REG_BINARY, "\1\2\3\4\5\6"}}) {
        SCOPED_TRACE(::testing::PrintToString(before));
        ::RegDeleteTreeA(root_, "Software");
        if (!(before == ABSENT)) Write(FEATURE, "iexplore.exe", before);

        EnableUrlCredentials();

        EXPECT_EQ(Read(FEATURE, "iexplore.exe"), Dword(0));
    }
}

TEST_F(RegistryDefaultsTest, KeyThatCannotBeOpenedStillLeavesTheServiceListCopied)
{
    WriteFile("conf\\default-services.xml", "<services/>\r\n");
    fault::FailAlways(fault::Op::RegCreateKeyA, ERROR_ACCESS_DENIED);

    EnableUrlCredentials();
    ApplyClientPreferenceDefaults();

    EXPECT_EQ(ReadFile("conf\\services.xml"), "<services/>\r\n");
    EXPECT_EQ(fault::Calls(fault::Op::RegSetValueExA), 0u);
    EXPECT_EQ(Read(FEATURE, "iexplore.exe"), ABSENT);
    EXPECT_EQ(Read(PREFERENCES, "browser/For/Help"), ABSENT);
}

TEST_F(RegistryDefaultsTest, AFailedWriteDoesNotStopTheOther)
{
    fault::FailCalls(fault::Op::RegSetValueExA, 1, 1, ERROR_ACCESS_DENIED);

    ApplyClientPreferenceDefaults();

    EXPECT_EQ(Read(PREFERENCES, "browser/For/Help"), ABSENT);
    EXPECT_EQ(Read(PREFERENCES, "default/Login/Module/Index"), Sz("1"));
}

TEST_F(RegistryDefaultsTest, ExistingServiceListIsNeverReplaced)
{
    WriteFile("conf\\default-services.xml", "default");
    WriteFile("conf\\services.xml", "mine");
    ApplyClientPreferenceDefaults();
    EXPECT_EQ(ReadFile("conf\\services.xml"), "mine");
}

}  // namespace
