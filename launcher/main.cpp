#include "launcher/launch_sequence.h"
#include "launcher/platform.h"

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPSTR commandLine,
                   int /*show*/)
{
    return RunLaunchSequence(commandLine);
}
