#include "required_connections.h"

#include <winsock2.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define PIECE_SIZE 1024

/* The demo server first: its address is the first one tested. */
static const char* const SERVER_NAMES[2] = {"demo.veltrix.example", "main.veltrix.example"};
static const char* const SERVER_ADDRESSES[2] = {"198.51.100.20", "198.51.100.10"};

static int HasEntry(const char* address, const char* path)
{
    char piece[PIECE_SIZE];
    const size_t length = strlen(address);
    int found = 0;
    FILE* file = fopen(path, "r");
    if (file == NULL) return 0;
    while (!found && fgets(piece, sizeof piece, file)) {
        found = !strncmp(piece, address, length) &&
                (piece[length] == ' ' || (piece[length] >= '\t' && piece[length] <= '\r'));
    }
    fclose(file);
    return found;
}

static void AddEntry(const char* address, const char* name)
{
    char path[MAX_PATH], entryName[256];
    const char* systemRoot = getenv("SystemRoot");
    const char* source = name[0] != '\0' ? name : address;
    FILE* file;
    size_t i;
    if (systemRoot == NULL) return;
    snprintf(path, sizeof path, "%s\\system32\\drivers\\etc\\hosts", systemRoot);
    if (HasEntry(address, path)) return;
    for (i = 0; i < 252 && source[i] != '\0'; ++i) {
        const char c = source[i];
        const int letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        entryName[i] = letter || (c >= '0' && c <= '9') ? c : '-';
    }
    strcpy(entryName + i, ".vt");
    file = fopen(path, "a+");
    if (file == NULL) return;
    fprintf(file, "\n# Automatically inserted by Veltrix Console for connection '%s':\n", source);
    fprintf(file, "%s %s\n", address, entryName);
    fclose(file);
}

static void TakeName(char* name, const char* start)
{
    const char* marker = start != NULL ? strstr(start, " name=\"") : NULL;
    size_t length = 0;
    if (marker != NULL) {
        marker += 7;
        length = strcspn(marker, "\"");
        memcpy(name, marker, length);
    }
    name[length] = '\0';
}

/* Returns 1 when a server's address gave way to its host name. */
static int HandleHost(char* piece, char* value, const char* name, const int* resolved)
{
    char host[PIECE_SIZE];
    const size_t length = strcspn(value, "<");
    int i;
    if (length == 0 || strspn(value, ".0123456789") < length) return 0;
    for (i = 0; i < 2; ++i) {
        const size_t addressLength = strlen(SERVER_ADDRESSES[i]);
        const size_t nameLength = strlen(SERVER_NAMES[i]);
        if (!resolved[i] || length != addressLength || strncmp(value, SERVER_ADDRESSES[i], length))
            continue;
        if (strlen(piece) + nameLength - length < PIECE_SIZE) {
            memmove(value + nameLength, value + length, strlen(value + length) + 1);
            memcpy(value, SERVER_NAMES[i], nameLength);
        }
        return 1;
    }
    memcpy(host, value, length);
    host[length] = '\0';
    AddEntry(host, name);
    return 0;
}

void RewriteConnectionsAsRequired(void)
{
    char piece[PIECE_SIZE], name[PIECE_SIZE] = "";
    int resolved[2], open = 0, changed = 0, stopped = 0;
    WSADATA sockets;
    FILE *source, *copy = NULL;

    CopyFileA("conf\\default-connections.xml", "conf\\connections.xml", TRUE);
    source = fopen("conf\\connections.xml", "r");
    if (source == NULL) return;
    WSAStartup(MAKEWORD(2, 0), &sockets);
    /* The main server is looked up first. */
    resolved[1] = gethostbyname(SERVER_NAMES[1]) != NULL;
    resolved[0] = gethostbyname(SERVER_NAMES[0]) != NULL;
    if (resolved[0] || resolved[1]) copy = fopen("conf\\connections.tmp", "w");
    WSACleanup();

    while (fgets(piece, sizeof piece, source)) {
        char *start, *host;
        if (strstr(piece, "</connection>")) {
            open = 0;
        } else if ((start = strstr(piece, "<connection ")) || strstr(piece, "<connection>")) {
            if (open) {
                stopped = 1;
                break;
            }
            open = 1;
            TakeName(name, start);
        } else if ((host = strstr(piece, "<host>"))) {
            if (!open) {
                stopped = 1;
                break;
            }
            changed |= HandleHost(piece, host + 6, name, resolved);
        }
        if (copy != NULL) fputs(piece, copy);
    }

    if (copy == NULL) {
        fclose(source);
        return;
    }
    if (changed && !stopped && feof(source)) {
        fflush(copy);
        _commit(_fileno(copy));
        fclose(copy);
        fclose(source);
        MoveFileExA("conf\\connections.tmp", "conf\\connections.xml",
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
        return;
    }
    fclose(copy);
    fclose(source);
    DeleteFileA("conf\\connections.tmp");
}
