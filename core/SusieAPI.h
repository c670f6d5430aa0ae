/* The entry points and records of an image plug-in (a shared object named
 * "*.spi"), as a plug-in and this program both see them. Plain C, so that a
 * plug-in can be written in C or C++.
 *
 * - Strings are UTF-8; file names are full paths.
 * - The bitmap information (header, then masks or palette) and the pixel bits
 *   that "GetPicture" and "GetPreview" hand back are two blocks from the C
 *   library's malloc; the program releases them with free. So is the extra
 *   text of TPictureInfo.hInfo (may be null).
 * - Every entry point returns 0 for success unless said otherwise.
 */
#ifndef VESTRO_SUSIE_API_H
#define VESTRO_SUSIE_API_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#pragma pack(push, 1)
/* Filled by "GetPictureInfo". Densities are dots per inch (0: unknown). */
typedef struct TPictureInfo {
    int32_t Left, Top;     /* where the picture sits on its page */
    int32_t Width, Height; /* pixels */
    uint16_t x_Density, y_Density;
    int16_t colorDepth; /* bits per pixel */
    void* hInfo;        /* extra text (malloc block) or null */
} TPictureInfo;
#pragma pack(pop)

/* How "Buf" is to be read: the low 3 bits of the flag argument. */
enum { SPI_INPUT_FILE = 0, SPI_INPUT_MEMORY = 1 };

/* Progress: Num of Denom done. A non-zero result asks the plug-in to stop. */
typedef int (*SPI_PROGRESS)(int Num, int Denom, intptr_t Data);

/* InfoNo 0: the interface identifier ("00IN" for import plug-ins); 1: the
 * description; 2, 4, 6 ...: extension filters such as "*.pic"; 3, 5 ...:
 * their descriptions. Writes at most BufLen bytes and returns the text's
 * length, 0 past the last number. */
typedef int (*TSPIGetPluginInfo)(int InfoNo, char* Buf, int BufLen);
/* Non-zero when the plug-in reads the file. Header: the first 2048 bytes
 * (zero-filled past the end of a shorter file). */
typedef int (*TSPIIsSupported)(const char* FileName, const void* Header);
/* Buf/Len: a file name and the offset of the picture in it
 * (SPI_INPUT_FILE), or the file's bytes and their count (SPI_INPUT_MEMORY). */
typedef int (*TSPIGetPictureInfo)(const char* Buf, intptr_t Len, unsigned Flag, TPictureInfo* Info);
/* Hands back the bitmap information and the bits of a bottom-up or top-down
 * device-independent bitmap. Also the signature of "GetPreview". */
typedef int (*TSPIGetPicture)(const char* Buf, intptr_t Len, unsigned Flag, void** HBInfo, void** HBm,
                              SPI_PROGRESS Progress, intptr_t Data);
/* Fnc 0: about box; 1: settings. Parent is the owner window (may be null). */
typedef int (*TSPIConfigurationDlg)(void* Parent, int Fnc);

#ifdef __cplusplus
}
#endif

#endif
