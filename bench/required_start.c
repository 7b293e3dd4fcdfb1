/* A normal start with exactly the calls the launcher is bound to make when there is no update:
   its own path read (narrow, and wide to test that the narrow one is faithful), the application
   directory made current, the three update entries looked for, the browser feature value set,
   the connection rewrite (required_connections.c), the service list and the two preferences
   where missing, and the client started. */

#include <windows.h>
#include <string.h>

#include "required_connections.h"

static int Exists(const char* name)
{
    WIN32_FIND_DATAA probe;
    HANDLE found = FindFirstFileA(name, &probe);
    if (found == INVALID_HANDLE_VALUE) return 0;
    FindClose(found);
    return 1;
}

static void SetWhenMissing(HKEY key, const char* name, const char* data, DWORD size)
{
    DWORD stored = 0;
    if (RegQueryValueExA(key, name, NULL, NULL, NULL, &stored) == ERROR_SUCCESS && stored >= 2)
        return;
    RegSetValueExA(key, name, 0, REG_SZ, (const BYTE*)data, size);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR arguments, int show)
{
    char path[MAX_PATH], rendering[MAX_PATH];
    WCHAR wide[MAX_PATH];
    BOOL usedDefault = FALSE;
    char commandLine[] =
        "jre\\bin\\javaw.exe -Xmx128m -Dsun.net.spi.nameservice.provider.1=dns,sun "
        "-Djavax.net.ssl.trustStore=cacerts -Djava.security.auth.login.config=auth.conf "
        "-jar lib/vt-client.jar";
    const DWORD off = 0;
    STARTUPINFOA startupInfo = {0};
    PROCESS_INFORMATION process = {0};
    HKEY key;
    char* backslash;
    DWORD length = GetModuleFileNameA(NULL, path, MAX_PATH);
    (void)instance; (void)previous; (void)show;

    if (length == 0 || length >= MAX_PATH) return 1;
    length = GetModuleFileNameW(NULL, wide, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 1;
    if (!WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, rendering, MAX_PATH, NULL,
                             &usedDefault) || usedDefault) {
        return 1;  /* this start stands for one from a folder the code page can spell */
    }
    backslash = strrchr(path, '\\');
    if (backslash == NULL || (arguments != NULL && strstr(arguments, "--install"))) return 1;
    if (!_stricmp(backslash + 1, "VTC_upd.exe")) return 1;
    backslash[1] = '\0';
    if (!SetCurrentDirectoryA(path)) return 1;
    /* This start stands for one without an update only. */
    if (Exists("VTC_upd.exe") || Exists("patches\\VTConsole.exe") || Exists("patches")) return 1;

    if (RegCreateKeyA(HKEY_CURRENT_USER,
                      "Software\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\"
                      "FEATURE_HTTP_USERNAME_PASSWORD_DISABLE", &key) == ERROR_SUCCESS) {
        RegSetValueExA(key, "iexplore.exe", 0, REG_DWORD, (const BYTE*)&off, sizeof off);
        RegCloseKey(key);
    }
    RewriteConnectionsAsRequired();
    CopyFileA("conf\\default-services.xml", "conf\\services.xml", TRUE);
    if (RegCreateKeyA(HKEY_CURRENT_USER, "Software\\JavaSoft\\Prefs\\vt_2_0", &key) ==
        ERROR_SUCCESS) {
        SetWhenMissing(key, "browser/For/Help", "cmd \\c start iexplore", 22);
        SetWhenMissing(key, "default/Login/Module/Index", "1", 2);
        RegCloseKey(key);
    }

    startupInfo.cb = sizeof startupInfo;
    if (!CreateProcessA(NULL, commandLine, NULL, NULL, FALSE, CREATE_NEW_PROCESS_GROUP, NULL,
                        NULL, &startupInfo, &process)) {
        return 1;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 0;
}
