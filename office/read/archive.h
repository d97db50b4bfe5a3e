// Office files that are ZIP archives of XML parts (.xlsx, .ods): the archive
// opened with zlib's minizip from memory, its parts read with expat. What
// inflating may produce is bounded, so a crafted archive cannot exhaust
// memory. Internal to the reader.
#pragma once

#include <expat.h>
#include <minizip/unzip.h>

#include <cstddef>
#include <exception>
#include <functional>
#include <string>
#include <string_view>

// Refuses the file: "not a sound workbook: PROBLEM; save it again as SAVEAS".
[[noreturn]] void brokenFile(const std::string& problem, const std::string& saveAs);

// An element's name without its namespace prefix.
std::string_view local(const XML_Char* name);

// An attribute by its local name; `prefixed` asks for one with a prefix
// (r:id, the relationship), else one without.
std::string attribute(const XML_Char** attributes, std::string_view name, bool prefixed = false);

// An attribute by its full name (table:style-name), or "".
std::string attributeNamed(const XML_Char** attributes, std::string_view name);

struct XmlHandler {
    std::function<void(std::string_view name, const XML_Char** attributes)> start;
    std::function<void(std::string_view name)> end;
    std::string* text = nullptr;  // where character data goes, when set
    // What a handler threw: it stops the parser and is thrown again once
    // expat's C frames are left.
    XML_Parser parser = nullptr;
    std::exception_ptr failure;
};

// A whole XML document into expat: why it is not well-formed, or "".
// What a handler throws is thrown again.
std::string parseXml(std::string_view bytes, XmlHandler& handler);

class Archive {
public:
    // `saveAs` ends the refusal of a damaged archive: ".xlsx in Excel or WPS".
    Archive(std::string_view bytes, std::string saveAs);
    ~Archive() { unzClose(zip_); }
    Archive(const Archive&) = delete;
    Archive& operator=(const Archive&) = delete;

    bool has(const std::string& part) { return unzLocateFile(zip_, part.c_str(), 1) == UNZ_OK; }

    // Unpacks the part into expat, a piece at a time.
    void parse(const std::string& part, XmlHandler& handler);

    // minizip reads the archive from memory.
    struct Memory {
        std::string_view bytes;
        ZPOS64_T at = 0;
    };

private:
    Memory memory_;
    std::string saveAs_;
    unzFile zip_;
    std::size_t unpacked_ = 0;
};
