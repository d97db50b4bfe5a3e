/* See iconv.h. Each call converts its whole input, as FreeXL asks. */
#include "iconv.h"
#include "localcharset.h"

#include <errno.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

iconv_t iconv_open(const char* to, const char* from)
{
    UINT page = 0;
    if (strcmp(to, "UTF-8") != 0)
        page = 0;
    else if (strcmp(from, "UTF-16LE") == 0)
        page = 1200;
    else if (strcmp(from, "ASCII") == 0)
        page = 20127;
    else if (strcmp(from, "MacRoman") == 0)
        page = 10000;
    else if (strncmp(from, "CP", 2) == 0)
        page = (UINT)atoi(from + 2);
    if (page == 0 || (page != 1200 && !IsValidCodePage(page))) {
        errno = EINVAL;
        return (iconv_t)-1;
    }
    return (iconv_t)(uintptr_t)page;
}

size_t iconv(iconv_t cd, char** in, size_t* inLeft, char** out, size_t* outLeft)
{
    const UINT page = (UINT)(uintptr_t)cd;
    if (!in || !*in || *inLeft == 0)
        return 0;
    int units = page == 1200 ? (int)(*inLeft / 2)
                             : MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, *in, (int)*inLeft, NULL, 0);
    WCHAR* wide = units > 0 ? malloc(units * sizeof(WCHAR)) : NULL;
    if (!wide) {
        errno = EILSEQ;
        return (size_t)-1;
    }
    if (page == 1200)
        memcpy(wide, *in, units * sizeof(WCHAR));
    else
        MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, *in, (int)*inLeft, wide, units);
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, units, NULL, 0, NULL, NULL);
    if (bytes <= 0 || (size_t)bytes > *outLeft) {
        free(wide);
        errno = bytes <= 0 ? EILSEQ : E2BIG;
        return (size_t)-1;
    }
    WideCharToMultiByte(CP_UTF8, 0, wide, units, *out, bytes, NULL, NULL);
    free(wide);
    *in += page == 1200 ? units * 2 : *inLeft;
    *inLeft = page == 1200 ? *inLeft % 2 : 0;
    *out += bytes;
    *outLeft -= bytes;
    return 0;
}

int iconv_close(iconv_t cd)
{
    (void)cd;
    return 0;
}

const char* locale_charset(void) { return "UTF-8"; }
