#include "launcher/launch_sequence.h"
#include "platform/platform.h"

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPSTR commandLine,
                   int /*show*/)
{
    return RunLaunchSequence(commandLine);
}
