/* required_rewrite.exe: the connection rewrite in the current directory with exactly the calls
   the launcher is bound to make (required_connections.c). Prints the seconds it took. */

#include <stdio.h>

#include "required_connections.h"
#include "timing.h"

int main(void)
{
    const double started = Seconds();
    RewriteConnectionsAsRequired();
    printf("%.9f\n", Seconds() - started);
    return 0;
}
