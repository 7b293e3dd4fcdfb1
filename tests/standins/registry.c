/* Reads and writes registry values under HKEY_CURRENT_USER byte for byte, for tests that must
   see or set a value's exact type and size (reg.exe shows neither the size nor a string's
   terminator). Arguments: the result file, then
     get KEY NAME            writes "TYPE SIZE HEXDATA", or "absent"
     set KEY NAME TYPE HEX   stores the bytes HEX as a value of type TYPE (decimal)
   Ends with exit code 0 when it did what it was asked. */

#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(int argc, char** argv)
{
    unsigned char data[1024];
    DWORD type = 0, size = sizeof data, i;
    HKEY key;
    FILE* out;
    if (argc < 5) return 2;
    out = fopen(argv[1], "wb");
    if (out == NULL) return 2;
    if (strcmp(argv[2], "get") == 0) {
        if (RegOpenKeyA(HKEY_CURRENT_USER, argv[3], &key) != ERROR_SUCCESS ||
            RegQueryValueExA(key, argv[4], NULL, &type, data, &size) != ERROR_SUCCESS) {
            fputs("absent", out);
        } else {
            fprintf(out, "%lu %lu ", (unsigned long)type, (unsigned long)size);
            for (i = 0; i < size; ++i) fprintf(out, "%02x", data[i]);
        }
        return fclose(out) == 0 ? 0 : 1;
    }
    if (strcmp(argv[2], "set") == 0 && argc == 7) {
        size = (DWORD)(strlen(argv[6]) / 2);
        for (i = 0; i < size; ++i) {
            unsigned int byte;
            sscanf(argv[6] + 2 * i, "%2x", &byte);
            data[i] = (unsigned char)byte;
        }
        if (RegCreateKeyA(HKEY_CURRENT_USER, argv[3], &key) != ERROR_SUCCESS) return 1;
        if (RegSetValueExA(key, argv[4], 0, (DWORD)atol(argv[5]), data, size) != ERROR_SUCCESS) {
            return 1;
        }
        RegCloseKey(key);
        return fclose(out) == 0 ? 0 : 1;
    }
    return 2;
}
