/* zvc450usb-list: lists the current directory of a ZVC450 player's internal
 * memory through the device library's C interface.  The player is the one on
 * USB, or the emulated player (zvc450-emu) whose socket ZVC450_VUSB names. */
#include <zvc450usb.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum { kCapacity = 4096 };

/* The 8.3 name "NAME    " "EXT" as NAME.EXT. */
static void short_name(const ZVC450_DIRENTRY *e, char *out, size_t size)
{
    char name[9], ext[4];
    memcpy(name, e->szName, 8);
    name[8] = '\0';
    memcpy(ext, e->szExt, 3);
    ext[3] = '\0';
    for (int i = 7; i >= 0 && name[i] == ' '; --i)
        name[i] = '\0';
    for (int i = 2; i >= 0 && ext[i] == ' '; --i)
        ext[i] = '\0';
    snprintf(out, size, ext[0] ? "%s.%s" : "%s", name, ext);
}

int main(void)
{
    HZVC450 player = NULL;
    if (!ZVC450_Open(&player)) {
        fprintf(stderr, "zvc450usb-list: no player (library error %d)\n", ZVC450_GetError());
        return 1;
    }
    printf("player: %s\n", ZVC450_GetFirmwareVersionString());

    ZVC450_DIRENTRY *files = calloc(kCapacity, sizeof *files);
    ZVC450_SUMMARY summary;
    int count = kCapacity;
    int ok = files != NULL && ZVC450_Refresh(player, ZVC450_MEMORY_INTERNAL, &summary, files, &count);
    if (ok) {
        for (int i = 0; i < count; ++i) {
            char name[16];
            short_name(&files[i], name, sizeof name);
            printf("%10u %s\n", (unsigned)files[i].dwSize, files[i].szLongName[0] ? files[i].szLongName : name);
        }
        printf("%d file(s), %u of %u blocks used\n", count, (unsigned)summary.dwUsedBlocks,
               (unsigned)summary.dwTotalBlocks);
    } else {
        fprintf(stderr, "zvc450usb-list: listing failed (library error %d)\n", ZVC450_GetError());
    }
    free(files);
    ZVC450_Close(player);
    ZVC450_Free(player);
    return ok ? 0 : 1;
}
