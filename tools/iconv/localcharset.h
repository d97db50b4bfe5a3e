/* The locale's character set, as libcharset names it (see iconv.h). */
#ifndef VARNHOLT_LOCALCHARSET_H
#define VARNHOLT_LOCALCHARSET_H
#ifdef __cplusplus
extern "C" {
#endif
const char* locale_charset(void);
#ifdef __cplusplus
}
#endif
#endif
