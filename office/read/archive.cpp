#include "office/read/archive.h"

#include <algorithm>
#include <cstring>

#include "office/read/read.h"

namespace {

// All parts of a file together may unpack to this much: a roster of the
// most records the program holds takes a few MiB.
constexpr std::size_t MAX_UNPACKED = 64u << 20;

// minizip reads the archive from memory through these.
using Memory = Archive::Memory;

voidpf openMemory(voidpf opaque, const void*, int) { return opaque; }

uLong readMemory(voidpf, voidpf stream, void* buffer, uLong size)
{
    auto& memory = *static_cast<Memory*>(stream);
    const auto n = std::min<ZPOS64_T>(size, memory.bytes.size() - std::min<ZPOS64_T>(memory.at, memory.bytes.size()));
    std::memcpy(buffer, memory.bytes.data() + memory.at, n);
    memory.at += n;
    return static_cast<uLong>(n);
}

uLong writeMemory(voidpf, voidpf, const void*, uLong) { return 0; }

ZPOS64_T tellMemory(voidpf, voidpf stream) { return static_cast<Memory*>(stream)->at; }

long seekMemory(voidpf, voidpf stream, ZPOS64_T offset, int origin)
{
    auto& memory = *static_cast<Memory*>(stream);
    const ZPOS64_T base = origin == ZLIB_FILEFUNC_SEEK_SET ? 0
                          : origin == ZLIB_FILEFUNC_SEEK_CUR ? memory.at
                                                             : memory.bytes.size();
    if (base + offset > memory.bytes.size())
        return -1;
    memory.at = base + offset;
    return 0;
}

int closeMemory(voidpf, voidpf) { return 0; }

int errorMemory(voidpf, voidpf) { return 0; }

// Runs a handler's call; what it throws stops the parser and is kept.
template <typename Call>
void guarded(void* data, Call&& call)
{
    auto& handler = *static_cast<XmlHandler*>(data);
    try {
        call(handler);
    } catch (...) {
        handler.failure = std::current_exception();
        XML_StopParser(handler.parser, XML_FALSE);
    }
}

}  // namespace

void brokenFile(const std::string& problem, const std::string& saveAs)
{
    throw ImportError(0, "not a sound workbook: " + problem + "; save it again as " + saveAs);
}

std::string_view local(const XML_Char* name)
{
    const std::string_view full = name;
    const auto colon = full.find(':');
    return colon == std::string_view::npos ? full : full.substr(colon + 1);
}

std::string attribute(const XML_Char** attributes, std::string_view name, bool prefixed)
{
    for (; *attributes; attributes += 2)
        if (local(attributes[0]) == name && (std::strchr(attributes[0], ':') != nullptr) == prefixed)
            return attributes[1];
    return {};
}

std::string attributeNamed(const XML_Char** attributes, std::string_view name)
{
    for (; *attributes; attributes += 2)
        if (attributes[0] == name)
            return attributes[1];
    return {};
}

Archive::Archive(std::string_view bytes, std::string saveAs) : memory_{bytes}, saveAs_(std::move(saveAs))
{
    zlib_filefunc64_def functions{openMemory, readMemory, writeMemory, tellMemory, seekMemory,
                                  closeMemory, errorMemory, &memory_};
    zip_ = unzOpen2_64("", &functions);
    if (!zip_)
        brokenFile("the ZIP archive cannot be opened", saveAs_);
}

namespace {

// A parser that calls the handler.
XML_Parser parserFor(XmlHandler& handler)
{
    const XML_Parser parser = XML_ParserCreate(nullptr);
    handler.parser = parser;
    XML_SetUserData(parser, &handler);
    XML_SetElementHandler(
        parser,
        [](void* data, const XML_Char* name, const XML_Char** attributes) {
            guarded(data, [&](XmlHandler& h) { h.start(local(name), attributes); });
        },
        [](void* data, const XML_Char* name) {
            guarded(data, [&](XmlHandler& h) { h.end(local(name)); });
        });
    XML_SetCharacterDataHandler(parser, [](void* data, const XML_Char* text, int length) {
        if (auto* to = static_cast<XmlHandler*>(data)->text)
            to->append(text, static_cast<std::size_t>(length));
    });
    return parser;
}

std::string notWellFormed(XML_Parser parser)
{
    return "not well-formed XML (line " + std::to_string(XML_GetCurrentLineNumber(parser)) + ": " +
           XML_ErrorString(XML_GetErrorCode(parser)) + ")";
}

}  // namespace

std::string parseXml(std::string_view bytes, XmlHandler& handler)
{
    if (bytes.size() > MAX_UNPACKED)
        return "it is larger than " + std::to_string(MAX_UNPACKED >> 20) + " MiB";
    const XML_Parser parser = parserFor(handler);
    std::string problem;
    if (XML_Parse(parser, bytes.data(), static_cast<int>(bytes.size()), 1) != XML_STATUS_OK && !handler.failure)
        problem = "it is " + notWellFormed(parser);
    XML_ParserFree(parser);
    if (handler.failure)
        std::rethrow_exception(handler.failure);
    return problem;
}

void Archive::parse(const std::string& part, XmlHandler& handler)
{
    if (!has(part) || unzOpenCurrentFile(zip_) != UNZ_OK)
        brokenFile("it has no part " + part, saveAs_);
    const XML_Parser parser = parserFor(handler);
    std::string problem;
    char buffer[1 << 16];
    for (;;) {
        const int n = unzReadCurrentFile(zip_, buffer, sizeof buffer);
        if (n < 0) {
            problem = "its part " + part + " cannot be unpacked";
            break;
        }
        if ((unpacked_ += static_cast<std::size_t>(n)) > MAX_UNPACKED) {
            problem = "it unpacks to more than " + std::to_string(MAX_UNPACKED >> 20) + " MiB";
            break;
        }
        if (XML_Parse(parser, buffer, n, n == 0) != XML_STATUS_OK) {
            if (handler.failure)
                break;
            problem = "its part " + part + " is " + notWellFormed(parser);
            break;
        }
        if (n == 0)
            break;
    }
    XML_ParserFree(parser);
    if (handler.failure) {
        unzCloseCurrentFile(zip_);
        std::rethrow_exception(handler.failure);
    }
    if (unzCloseCurrentFile(zip_) == UNZ_CRCERROR && problem.empty())
        problem = "its part " + part + " is damaged (CRC)";
    if (!problem.empty())
        brokenFile(problem, saveAs_);
}
