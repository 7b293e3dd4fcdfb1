/* op_costs.exe: what each file operation of the patch merge costs here, in microseconds, in a
   scratch directory "opcosts" of 20 files below the current directory. Tells where the merge's
   time goes next to the floor's. */

#include <stdio.h>
#include <string.h>

#include "timing.h"

#define ROUNDS 1000

int main(void)
{
    char name[MAX_PATH];
    WIN32_FIND_DATAA entry;
    double started;
    int i;

    CreateDirectoryA("opcosts", NULL);
    for (i = 0; i < 20; ++i) {
        FILE* file;
        snprintf(name, sizeof name, "opcosts\\file%d.dat", i);
        file = fopen(name, "wb");
        if (file) fclose(file);
    }

    started = Seconds();
    for (i = 0; i < ROUNDS; ++i) {
        HANDLE find = FindFirstFileA("opcosts\\*", &entry);
        FindNextFileA(find, &entry);
        FindNextFileA(find, &entry);
        FindClose(find);
    }
    printf("enumeration opened anew (FindFirstFileA, 2 FindNextFileA, FindClose): %.0f us\n",
           (Seconds() - started) / ROUNDS * 1e6);

    started = Seconds();
    {
        HANDLE find = FindFirstFileA("opcosts\\*", &entry);
        for (i = 0; i < 20; ++i) FindNextFileA(find, &entry);
        FindClose(find);
    }
    printf("one enumeration of 20 entries (the floor's way, per entry): %.0f us\n",
           (Seconds() - started) / 20 * 1e6);

    started = Seconds();
    for (i = 0; i < ROUNDS; ++i) GetFileAttributesA("opcosts\\file0.dat");
    printf("GetFileAttributesA: %.0f us\n", (Seconds() - started) / ROUNDS * 1e6);

    started = Seconds();
    for (i = 0; i < ROUNDS; ++i) SetFileAttributesA("opcosts\\missing.dat", FILE_ATTRIBUTE_NORMAL);
    printf("SetFileAttributesA on a missing destination: %.0f us\n",
           (Seconds() - started) / ROUNDS * 1e6);

    started = Seconds();
    for (i = 0; i < ROUNDS; ++i) {
        MoveFileExA("opcosts\\file0.dat", "opcosts\\moved.dat", MOVEFILE_REPLACE_EXISTING);
        MoveFileExA("opcosts\\moved.dat", "opcosts\\file0.dat", MOVEFILE_REPLACE_EXISTING);
    }
    printf("MoveFileExA: %.0f us\n", (Seconds() - started) / (2 * ROUNDS) * 1e6);

    for (i = 0; i < 20; ++i) {
        snprintf(name, sizeof name, "opcosts\\file%d.dat", i);
        DeleteFileA(name);
    }
    RemoveDirectoryA("opcosts");
    return 0;
}
