#include "office/write/page.h"

#include <sodium.h>

#include <utility>

namespace {

std::optional<PageText> findText(std::string_view page, std::string_view start, std::string_view end)
{
    const std::size_t at = page.find(start);
    if (at == std::string_view::npos)
        return std::nullopt;
    const std::size_t offset = at + start.size();
    const std::size_t stop = page.find(end, offset);
    if (stop == std::string_view::npos)
        return std::nullopt;
    return PageText{offset, stop - offset};
}

std::string base64(const unsigned char* bytes, std::size_t size)
{
    std::string text(sodium_base64_encoded_len(size, sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(text.data(), text.size(), bytes, size, sodium_base64_VARIANT_ORIGINAL);
    text.pop_back();  // its NUL
    return text;
}

// The policy's sources for the body of each element OPEN...CLOSE in the
// page, in order: 'sha256-...' of its bytes. A bare <script> is an inline
// script; the roster's and the program's elements carry a type and are data.
std::string hashes(std::string_view page, std::string_view open, std::string_view close)
{
    std::string out;
    for (std::size_t at = page.find(open); at != std::string_view::npos; at = page.find(open, at)) {
        const std::size_t body = at + open.size(), end = page.find(close, body);
        if (end == std::string_view::npos)
            break;
        unsigned char digest[crypto_hash_sha256_BYTES];
        crypto_hash_sha256(digest, reinterpret_cast<const unsigned char*>(page.data()) + body, end - body);
        out += (out.empty() ? "'sha256-" : " 'sha256-") + base64(digest, sizeof digest) + "'";
        at = end + close.size();
    }
    return out;
}

// A file named by its SHA-256, and that digest for an integrity attribute.
std::pair<ProgramFile, std::string> namedByHash(std::string bytes, std::string_view extension)
{
    unsigned char digest[crypto_hash_sha256_BYTES];
    crypto_hash_sha256(digest, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    char hex[2 * 8 + 1];
    sodium_bin2hex(hex, sizeof hex, digest, 8);
    return {{"varnholt-" + std::string(hex) + std::string(extension), std::move(bytes)},
            "sha256-" + base64(digest, sizeof digest)};
}

}  // namespace

std::optional<ProgramOutside> withProgramOutside(std::string_view page)
{
    static constexpr std::string_view SCRIPT_START = "\n<script>\n", SCRIPT_END = "\n</script>";
    const auto at = findText(page, std::string(PAGE_PROGRAM_START) + ">", "</script>");
    if (!at || at->size == 0)
        return std::nullopt;
    const std::size_t scriptAt = at->offset + at->size + std::string_view("</script>").size();
    const std::size_t scriptEnd = page.find(SCRIPT_END, scriptAt);
    if (page.substr(scriptAt, SCRIPT_START.size()) != SCRIPT_START || scriptEnd == std::string_view::npos)
        return std::nullopt;
    const std::string_view text = page.substr(at->offset, at->size);
    std::string bytes(text.size() / 4 * 3, '\0');
    std::size_t size = 0;
    if (sodium_base642bin(reinterpret_cast<unsigned char*>(bytes.data()), bytes.size(), text.data(), text.size(),
                          nullptr, &size, nullptr, sodium_base64_VARIANT_ORIGINAL) != 0)
        return std::nullopt;
    bytes.resize(size);
    auto [wasm, wasmIntegrity] = namedByHash(std::move(bytes), ".wasm");
    const std::size_t scriptBody = scriptAt + SCRIPT_START.size();
    auto [script, scriptIntegrity] =
        namedByHash(std::string(page.substr(scriptBody, scriptEnd - scriptBody)) + "\n", ".js");

    std::string out(page.substr(0, page.rfind(PAGE_PROGRAM_START, at->offset)));
    out += std::string(PAGE_PROGRAM_START) + " data-src=\"" + wasm.name + "\" data-integrity=\"" + wasmIntegrity +
           "\"></script>\n<script src=\"" + script.name + "\" integrity=\"" + scriptIntegrity + "\" defer>";
    out += page.substr(scriptEnd + 1);
    return ProgramOutside{std::move(out), std::move(wasm), std::move(script)};
}

std::optional<PageText> findPageArea(std::string_view page)
{
    return findText(page, PAGE_AREA_START, PAGE_AREA_END);
}

std::optional<PageText> findPagePolicy(std::string_view page)
{
    return findText(page, PAGE_POLICY_START, "\"");
}

std::optional<std::string> withPageArea(std::string_view page, std::span<const unsigned char> area,
                                        PageConnections connections)
{
    const auto at = findPageArea(page);
    if (!at)
        return std::nullopt;
    std::size_t used = area.size();
    while (used > 0 && area[used - 1] == 0)
        --used;
    std::string out(page);
    out.replace(at->offset, at->size, base64(area.data(), used));
    const auto policyAt = findPagePolicy(out);
    if (!policyAt)
        return std::nullopt;

    const std::string policy = std::string("default-src 'none'; ") +
                               (connections == PageConnections::self ? "connect-src 'self'; " : "") +
                               "script-src " + (connections == PageConnections::self ? "'self' " : "") +
                               hashes(out, "<script>", "</script>") + " 'wasm-unsafe-eval'; " +
                               "style-src " + hashes(out, "<style>", "</style>") + "; " +
                               "img-src data:; base-uri 'none'; form-action 'none'";
    out.replace(policyAt->offset, policyAt->size, policy);
    return out;
}
