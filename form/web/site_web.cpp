// A site's page fetches the bucket of a ticket from beside itself
// (roster/bucket.h): from its own origin, the only connection its policy
// allows (connect-src 'self'), with no credentials and no redirect.
#include <emscripten.h>

#include "roster/bucket.h"

// The file's size, its bytes kept for tk_take_site_file; -1 when it does not
// load (no network, an error status, no answer within 30 s, larger than
// `limit`). `reload` goes past the browser's cache, for a file the cache may
// hold damaged. (A site's page opened from disk never gets this far: its
// program, a file beside it, is not fetched from disk either; toolkit.js.)
EM_ASYNC_JS(int, tk_fetch_site_file, (const char* path, int reload, int limit), {
    var controller = new AbortController(), timer = setTimeout(function () { controller.abort(); }, 30000);
    try {
        var response = await fetch(UTF8ToString(path), {
            cache: reload ? 'reload' : 'default', credentials: 'omit', redirect: 'error', signal: controller.signal});
        if (!response.ok)
            return -1;
        var bytes = new Uint8Array(await response.arrayBuffer());
        if (bytes.length > limit)
            return -1;
        Module.siteFile = bytes;
        return bytes.length;
    } catch (e) {
        return -1;
    } finally {
        clearTimeout(timer);
    }
});
EM_JS(void, tk_take_site_file, (unsigned char* out), {
    HEAPU8.set(Module.siteFile, out);
    Module.siteFile = null;
});

std::optional<std::vector<unsigned char>> fetchSiteFile(const std::string& path, bool reload)
{
    const int size = tk_fetch_site_file(path.c_str(), reload, static_cast<int>(ROSTER_BUCKET_MAX));
    if (size < 0)
        return std::nullopt;
    std::vector<unsigned char> bytes(static_cast<std::size_t>(size));
    tk_take_site_file(bytes.data());
    return bytes;
}
