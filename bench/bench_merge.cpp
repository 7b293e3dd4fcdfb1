// bench_merge.exe PREFIX: the launcher's own merge of "patches" into PREFIX (an absolute path
// ending in a backslash), timed. Prints the seconds it took; exit code 1 when it failed.

#include <cstdio>

#include "bench/timing.h"
#include "update/patch_tree.h"

int main(int argc, char** argv)
{
    if (argc != 2) return 2;
    const double started = Seconds();
    const int merged = MovePatchTree("patches", argv[1]);
    std::printf("%.9f\n", Seconds() - started);
    return merged ? 0 : 1;
}
