#include "config/registry_defaults.h"

#include "launcher/platform.h"

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

template <DWORD N>
void SetPreferenceWhenMissing(HKEY key, const char* name, const char (&data)[N])
{
    DWORD size = 0;
    const LONG probe = platform::RegQueryValueExA(key, name, nullptr, nullptr, nullptr, &size);
    if (probe == ERROR_SUCCESS && size >= PREFERENCE_MIN_DATA_SIZE) return;
    platform::RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data), N);
}

}  // namespace

void EnableUrlCredentials()
{
    HKEY key;
    if (platform::RegCreateKeyA(HKEY_CURRENT_USER, FEATURE_KEY, &key) != ERROR_SUCCESS) return;
    const DWORD off = 0;
    platform::RegSetValueExA(key, FEATURE_VALUE, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&off),
                             sizeof off);
    platform::RegCloseKey(key);
}

void ApplyClientPreferenceDefaults()
{
    platform::CopyFileA(DEFAULT_SERVICE_LIST, SERVICE_LIST, TRUE);

    HKEY key;
    if (platform::RegCreateKeyA(HKEY_CURRENT_USER, PREFERENCE_KEY, &key) != ERROR_SUCCESS) return;
    SetPreferenceWhenMissing(key, BROWSER_FOR_HELP, BROWSER_FOR_HELP_DATA);
    SetPreferenceWhenMissing(key, LOGIN_MODULE_INDEX, LOGIN_MODULE_INDEX_DATA);
    platform::RegCloseKey(key);
}
