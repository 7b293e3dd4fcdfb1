/* floor_rewrite.exe ADDRESS...: the least a rewrite of the connection list must do: copy the
   list line by line through a temporary file that takes its place, and append one hosts entry
   for each ADDRESS in a single opening of the hosts file. Prints the seconds it took. */

#include <stdio.h>
#include <stdlib.h>

#include "timing.h"

static int Fail(const char* step)
{
    printf("could not %s: error %lu\n", step, GetLastError());
    return 1;
}

int main(int argc, char** argv)
{
    char line[1024], hosts[MAX_PATH];
    FILE *source, *copy, *hostsFile;
    double started = Seconds();
    int i;

    source = fopen("conf\\connections.xml", "r");
    copy = fopen("conf\\connections.tmp", "w");
    if (source == NULL || copy == NULL) return Fail("open the list and its copy");
    while (fgets(line, sizeof line, source)) fputs(line, copy);
    fclose(source);
    if (fclose(copy) != 0) return Fail("close the copy");
    if (!MoveFileExA("conf\\connections.tmp", "conf\\connections.xml", MOVEFILE_REPLACE_EXISTING))
        return Fail("move the copy over the list");

    snprintf(hosts, sizeof hosts, "%s\\system32\\drivers\\etc\\hosts", getenv("SystemRoot"));
    hostsFile = fopen(hosts, "a+");
    if (hostsFile == NULL) return Fail("open the hosts file");
    for (i = 1; i < argc; ++i) {
        fprintf(hostsFile, "\n# Automatically inserted by Veltrix Console for connection '%s':\n",
                argv[i]);
        fprintf(hostsFile, "%s %s.vt\n", argv[i], argv[i]);
    }
    fclose(hostsFile);
    printf("%.9f\n", Seconds() - started);
    return 0;
}
