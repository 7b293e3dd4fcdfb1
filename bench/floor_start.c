/* The least a launcher must do: start the client with its command line in a process group of
   its own, and end. */

#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR arguments, int show)
{
    char commandLine[] =
        "jre\\bin\\javaw.exe -Xmx128m -Dsun.net.spi.nameservice.provider.1=dns,sun "
        "-Djavax.net.ssl.trustStore=cacerts -Djava.security.auth.login.config=auth.conf "
        "-jar lib/vt-client.jar";
    STARTUPINFOA startupInfo = {0};
    PROCESS_INFORMATION process = {0};
    (void)instance; (void)previous; (void)arguments; (void)show;
    startupInfo.cb = sizeof startupInfo;
    if (!CreateProcessA(NULL, commandLine, NULL, NULL, FALSE, CREATE_NEW_PROCESS_GROUP, NULL,
                        NULL, &startupInfo, &process)) {
        return 1;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 0;
}
