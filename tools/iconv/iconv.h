/* iconv for the Windows builds of FreeXL, over the Win32 code page
   conversions (Debian 12 packages no iconv for mingw-w64): converts the
   code pages FreeXL names (CPnnnn, ASCII, MacRoman, UTF-16LE) to UTF-8. */
#ifndef VARNHOLT_ICONV_H
#define VARNHOLT_ICONV_H
#include <stddef.h>
#ifdef __cplusplus
extern "C" {
#endif
typedef void* iconv_t;
iconv_t iconv_open(const char* to, const char* from);
size_t iconv(iconv_t cd, char** in, size_t* inLeft, char** out, size_t* outLeft);
int iconv_close(iconv_t cd);
#ifdef __cplusplus
}
#endif
#endif
