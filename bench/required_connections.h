/* The connection rewrite with exactly the calls the launcher is bound to make, in their order:
   the list read and copied piece by piece, both servers looked up, every numeric host tested
   against the hosts file (read to its first matching piece) and given an entry where it has
   none, the copy made durable and moved over the list when a host was replaced, else deleted.
   It decides nothing the rewrite does not need decided. */
#ifndef VTCONSOLE_BENCH_REQUIRED_CONNECTIONS_H
#define VTCONSOLE_BENCH_REQUIRED_CONNECTIONS_H

void RewriteConnectionsAsRequired(void);

#endif
