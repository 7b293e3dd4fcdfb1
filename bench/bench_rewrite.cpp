// bench_rewrite.exe: the launcher's own connection rewrite in the current directory, timed.
// Prints the seconds it took.

#include <cstdio>

#include "bench/timing.h"
#include "config/connections.h"

int main()
{
    const double started = Seconds();
    RewriteConnections();
    std::printf("%.9f\n", Seconds() - started);
    return 0;
}
