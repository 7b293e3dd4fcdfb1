#include "config/registry_defaults.h"

#include "config/connections.h"
#include "platform/account.h"
#include "platform/platform.h"

namespace {

constexpr char FEATURE_KEY[] =
    "Software\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\"
    "FEATURE_HTTP_USERNAME_PASSWORD_DISABLE";
constexpr char FEATURE_VALUE[] = "iexplore.exe";

constexpr char SERVICE_LIST[] = "conf\\services.xml";
constexpr char DEFAULT_SERVICE_LIST[] = "conf\\default-services.xml";

// The client's node in the Java preference store, whose registry form encodes an upper-case
// letter as '/' and the letter, and '/' as '\'.
constexpr char PREFERENCE_KEY[] = "Software\\JavaSoft\\Prefs\\vt_2_0";
constexpr char BROWSER_FOR_HELP[] = "browser/For/Help";
constexpr char BROWSER_FOR_HELP_DATA[] = "cmd \\c start iexplore";
constexpr char LOGIN_MODULE_INDEX[] = "default/Login/Module/Index";
constexpr char LOGIN_MODULE_INDEX_DATA[] = "1";

// Shorter stored data (none, or a string of only its terminator) counts as missing.
constexpr DWORD PREFERENCE_MIN_DATA_SIZE = 2;

static_assert(sizeof BROWSER_FOR_HELP_DATA == 22, "browserForHelp is stored in 22 bytes");
static_assert(sizeof LOGIN_MODULE_INDEX_DATA == 2, "defaultLoginModuleIndex in 2 bytes");

// Opens or makes the key below HKEY_CURRENT_USER; nullptr, told to the account, when it cannot.
HKEY OpenKey(const char* path)
{
    HKEY key;
    const LONG opened = platform::RegCreateKeyA(HKEY_CURRENT_USER, path, &key);
    if (opened == ERROR_SUCCESS) return key;
    ReportError(static_cast<DWORD>(opened), "nothing set below it: RegCreateKeyA HKCU\\%s", path);
    return nullptr;
}

void SetValue(HKEY key, const char* name, DWORD type, const BYTE* data, DWORD size)
{
    const LONG set = platform::RegSetValueExA(key, name, 0, type, data, size);
    if (set == ERROR_SUCCESS) {
        Report("registry value %s set", name);
    } else {
        ReportError(static_cast<DWORD>(set), "RegSetValueExA %s", name);
    }
}

void SetPreferenceWhenMissing(HKEY key, const char* name, const char* data, DWORD dataSize)
{
    DWORD size = 0;
    const LONG probe = platform::RegQueryValueExA(key, name, nullptr, nullptr, nullptr, &size);
    if (probe == ERROR_SUCCESS && size >= PREFERENCE_MIN_DATA_SIZE) {
        Report("registry value %s there already", name);
        return;
    }
    if (probe != ERROR_SUCCESS && probe != ERROR_FILE_NOT_FOUND) {
        ReportError(static_cast<DWORD>(probe), "taken as missing: RegQueryValueExA %s", name);
    }
    SetValue(key, name, REG_SZ, reinterpret_cast<const BYTE*>(data), dataSize);
}

}  // namespace

void EnableUrlCredentials()
{
    HKEY key = OpenKey(FEATURE_KEY);
    if (key == nullptr) return;
    const DWORD off = 0;
    SetValue(key, FEATURE_VALUE, REG_DWORD, reinterpret_cast<const BYTE*>(&off), sizeof off);
    platform::RegCloseKey(key);
}

void ApplyClientPreferenceDefaults()
{
    // Made from its default only where it is missing: an existing list makes the copy fail.
    if (!ConfigurationFolderIsLink(SERVICE_LIST) &&
        !platform::CopyFileA(DEFAULT_SERVICE_LIST, SERVICE_LIST, TRUE) && AccountOn() &&
        platform::GetLastError() != ERROR_FILE_EXISTS) {
        ReportFailure("CopyFileA %s to %s", DEFAULT_SERVICE_LIST, SERVICE_LIST);
    }

    HKEY key = OpenKey(PREFERENCE_KEY);
    if (key == nullptr) return;
    SetPreferenceWhenMissing(key, BROWSER_FOR_HELP, BROWSER_FOR_HELP_DATA,
                             sizeof BROWSER_FOR_HELP_DATA);
    SetPreferenceWhenMissing(key, LOGIN_MODULE_INDEX, LOGIN_MODULE_INDEX_DATA,
                             sizeof LOGIN_MODULE_INDEX_DATA);
    platform::RegCloseKey(key);
}
