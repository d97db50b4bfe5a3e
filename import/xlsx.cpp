// Workbooks (.xlsx) into rows of cells: the archive opened with zlib's
// minizip from memory, its XML parts read with expat. What inflating may
// produce is bounded, so a crafted archive cannot exhaust memory.
#include <expat.h>
#include <minizip/unzip.h>

#include <algorithm>
#include <charconv>
#include <cctype>
#include <climits>
#include <cstring>
#include <exception>
#include <functional>
#include <map>

#include "import/table.h"
#include "roster/utf.h"

namespace {

// All parts of a workbook together may unpack to this much: a roster of the
// most records the program holds takes a few MiB.
constexpr std::size_t MAX_UNPACKED = 64u << 20;
// Columns a roster may use; a cell further right is refused.
constexpr std::size_t MAX_COLUMNS = 1024;

[[noreturn]] void broken(const std::string& problem)
{
    throw ImportError(0, "not a sound workbook: " + problem + "; save it again as .xlsx in Excel or WPS");
}

// minizip reads the archive from memory through these.
struct Memory {
    std::string_view bytes;
    ZPOS64_T at = 0;
};

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

// An element's name without its namespace prefix.
std::string_view local(const XML_Char* name)
{
    const std::string_view full = name;
    const auto colon = full.find(':');
    return colon == std::string_view::npos ? full : full.substr(colon + 1);
}

// An attribute by its local name; `prefixed` asks for one with a prefix
// (r:id, the relationship), else one without.
std::string attribute(const XML_Char** attributes, std::string_view name, bool prefixed = false)
{
    for (; *attributes; attributes += 2)
        if (local(attributes[0]) == name && (std::strchr(attributes[0], ':') != nullptr) == prefixed)
            return attributes[1];
    return {};
}

struct XmlHandler {
    std::function<void(std::string_view name, const XML_Char** attributes)> start;
    std::function<void(std::string_view name)> end;
    std::string* text = nullptr;  // where character data goes, when set
    // What a handler threw: it stops the parser and is thrown again once
    // expat's C frames are left.
    XML_Parser parser = nullptr;
    std::exception_ptr failure;

    template <typename Call>
    static void guarded(void* data, Call&& call)
    {
        auto& handler = *static_cast<XmlHandler*>(data);
        try {
            call(handler);
        } catch (...) {
            handler.failure = std::current_exception();
            XML_StopParser(handler.parser, XML_FALSE);
        }
    }
};

class Archive {
public:
    explicit Archive(std::string_view bytes) : memory_{bytes}
    {
        zlib_filefunc64_def functions{openMemory, readMemory, writeMemory, tellMemory, seekMemory,
                                      closeMemory, errorMemory, &memory_};
        zip_ = unzOpen2_64("", &functions);
        if (!zip_)
            broken("the ZIP archive cannot be opened");
    }
    ~Archive() { unzClose(zip_); }
    Archive(const Archive&) = delete;
    Archive& operator=(const Archive&) = delete;

    bool has(const std::string& part) { return unzLocateFile(zip_, part.c_str(), 1) == UNZ_OK; }

    // Unpacks the part into expat, a piece at a time.
    void parse(const std::string& part, XmlHandler& handler)
    {
        if (!has(part) || unzOpenCurrentFile(zip_) != UNZ_OK)
            broken("it has no part " + part);
        const XML_Parser parser = XML_ParserCreate(nullptr);
        handler.parser = parser;
        XML_SetUserData(parser, &handler);
        XML_SetElementHandler(
            parser,
            [](void* data, const XML_Char* name, const XML_Char** attributes) {
                XmlHandler::guarded(data, [&](XmlHandler& h) { h.start(local(name), attributes); });
            },
            [](void* data, const XML_Char* name) {
                XmlHandler::guarded(data, [&](XmlHandler& h) { h.end(local(name)); });
            });
        XML_SetCharacterDataHandler(parser, [](void* data, const XML_Char* text, int length) {
            if (auto* to = static_cast<XmlHandler*>(data)->text)
                to->append(text, static_cast<std::size_t>(length));
        });
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
                problem = "its part " + part + " is not well-formed XML (line " +
                          std::to_string(XML_GetCurrentLineNumber(parser)) + ": " +
                          XML_ErrorString(XML_GetErrorCode(parser)) + ")";
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
            broken(problem);
    }

private:
    Memory memory_;
    unzFile zip_;
    std::size_t unpacked_ = 0;
};

std::u16string utf16(const std::string& text) { return fromUtf8(text).value_or(u"\uFFFD"); }

// A string of the workbook: Excel writes characters XML cannot hold (a CR,
// for one) as _xHHHH_, and a literal "_x" as _x005F_x.
std::u16string cellText(const std::string& value)
{
    const auto hex = [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; };
    std::string text;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value.compare(i, 2, "_x") == 0 && i + 7 <= value.size() && value[i + 6] == '_' &&
            std::all_of(value.begin() + static_cast<std::ptrdiff_t>(i + 2),
                        value.begin() + static_cast<std::ptrdiff_t>(i + 6), hex)) {
            const unsigned code = static_cast<unsigned>(std::stoul(value.substr(i + 2, 4), nullptr, 16));
            text += toUtf8(std::u16string(1, static_cast<char16_t>(code)));
            i += 6;
        } else {
            text += value[i];
        }
    }
    return utf16(text);
}

// A part named by a relationship of xl/workbook.xml.
std::string partOf(const std::string& target)
{
    return target.starts_with('/') ? target.substr(1) : "xl/" + target;
}

struct Sheet {
    std::string name, part;
    bool hidden;
};

// The worksheets in the workbook's order, and the shared strings' part.
std::vector<Sheet> sheets(Archive& archive, std::string& sharedStrings)
{
    std::vector<Sheet> named;  // the part's relationship in place of the part, at first
    XmlHandler workbook;
    workbook.start = [&](std::string_view name, const XML_Char** attributes) {
        if (name == "sheet")  // state: visible, hidden or veryHidden
            named.push_back({attribute(attributes, "name"), attribute(attributes, "id", true),
                             attribute(attributes, "state").ends_with("idden")});
    };
    workbook.end = [](std::string_view) {};
    archive.parse("xl/workbook.xml", workbook);

    std::map<std::string, std::string> targets;
    XmlHandler relationships;
    relationships.start = [&](std::string_view name, const XML_Char** attributes) {
        if (name != "Relationship")
            return;
        const std::string type = attribute(attributes, "Type");
        if (type.ends_with("/sharedStrings"))
            sharedStrings = partOf(attribute(attributes, "Target"));
        else if (type.ends_with("/worksheet"))
            targets[attribute(attributes, "Id")] = partOf(attribute(attributes, "Target"));
    };
    relationships.end = [](std::string_view) {};
    archive.parse("xl/_rels/workbook.xml.rels", relationships);

    std::vector<Sheet> found;
    for (const Sheet& sheet : named)
        if (const auto target = targets.find(sheet.part); target != targets.end())
            found.push_back({sheet.name, target->second, sheet.hidden});
    if (found.empty())
        broken("it has no worksheet");
    return found;
}

// The text of each shared string: its <t>, or its rich-text runs joined;
// phonetic guides (<rPh>) are no part of it.
std::vector<std::u16string> sharedStrings(Archive& archive, const std::string& part)
{
    std::vector<std::u16string> strings;
    if (part.empty() || !archive.has(part))
        return strings;
    std::string text;
    int phonetic = 0;
    XmlHandler handler;
    handler.start = [&](std::string_view name, const XML_Char**) {
        if (name == "si")
            text.clear();
        else if (name == "rPh")
            ++phonetic;
        else if (name == "t" && !phonetic)
            handler.text = &text;
    };
    handler.end = [&](std::string_view name) {
        if (name == "t")
            handler.text = nullptr;
        else if (name == "rPh")
            --phonetic;
        else if (name == "si")
            strings.push_back(cellText(text));
    };
    archive.parse(part, handler);
    return strings;
}

// "C7" to column 2 (C); nothing for a reference without letters.
std::optional<std::size_t> columnOf(const std::string& reference)
{
    std::size_t column = 0, i = 0;
    for (; i < reference.size() && reference[i] >= 'A' && reference[i] <= 'Z'; ++i)
        column = std::min<std::size_t>(column * 26 + static_cast<std::size_t>(reference[i] - 'A' + 1), 1u << 20);
    if (i == 0)
        return std::nullopt;
    return column - 1;
}

// A number as Excel's General format shows it: at most 15 significant
// digits, the digits of a whole number below 10^15 in full.
std::u16string numberText(const std::string& value)
{
    double number = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (error != std::errc() || end != value.data() + value.size())
        return utf16(value);
    char text[32];
    const auto written = std::to_chars(text, text + sizeof text, number, std::chars_format::general, 15);
    std::string shown(text, written.ptr);
    for (char& c : shown)
        c = c == 'e' ? 'E' : c;
    return utf16(shown);
}

// "1" or "true": a hidden row or column.
bool isSet(const std::string& flag) { return flag == "1" || flag == "true"; }

Table cells(Archive& archive, const Sheet& sheet, const std::vector<std::u16string>& strings)
{
    Table table;
    table.sheet = sheet.name;
    table.hidden = sheet.hidden;
    std::string value, type, reference;
    bool inInline = false;
    int phonetic = 0, rowNumber = 0;
    std::size_t nextColumn = 0;
    XmlHandler handler;
    handler.start = [&](std::string_view name, const XML_Char** attributes) {
        if (name == "row") {
            const std::string r = attribute(attributes, "r");
            int number = 0;
            std::from_chars(r.data(), r.data() + r.size(), number);
            rowNumber = !r.empty() ? number : rowNumber < INT_MAX ? rowNumber + 1 : 0;  // 0: out of order
            if (rowNumber <= (table.rows.empty() ? 0 : table.rows.back().row))
                broken("the rows of sheet \"" + sheet.name + "\" are out of order");
            table.rows.push_back({rowNumber, {}, isSet(attribute(attributes, "hidden"))});
            nextColumn = 0;
        } else if (name == "col" && isSet(attribute(attributes, "hidden"))) {
            const std::string min = attribute(attributes, "min"), max = attribute(attributes, "max");
            std::size_t first = 0, last = 0;
            std::from_chars(min.data(), min.data() + min.size(), first);
            std::from_chars(max.data(), max.data() + max.size(), last);
            for (std::size_t column = first; column >= 1 && column <= std::min(last, MAX_COLUMNS); ++column)
                table.hiddenColumns.push_back(column - 1);
        } else if (name == "c") {
            type = attribute(attributes, "t");
            reference = attribute(attributes, "r");
            value.clear();
        } else if (name == "v" && !table.rows.empty()) {
            handler.text = &value;
        } else if (name == "is") {
            inInline = true;
        } else if (name == "rPh") {
            ++phonetic;
        } else if (name == "t" && inInline && !phonetic) {
            handler.text = &value;
        }
    };
    handler.end = [&](std::string_view name) {
        if (name == "v" || name == "t") {
            handler.text = nullptr;
        } else if (name == "is") {
            inInline = false;
        } else if (name == "rPh") {
            --phonetic;
        } else if (name == "c" && !table.rows.empty()) {
            const std::size_t column = columnOf(reference).value_or(nextColumn);
            nextColumn = column + 1;
            Cell cell{column, {}, false};
            if (type == "s") {
                std::size_t index = strings.size();
                std::from_chars(value.data(), value.data() + value.size(), index);
                if (index >= strings.size())
                    broken("a cell refers to a shared string the workbook does not have");
                cell.text = strings[index];
            } else if (type == "b") {
                cell.text = value == "1" ? u"TRUE" : u"FALSE";
            } else if (type == "n" || type.empty()) {
                cell.number = !value.empty();
                cell.text = value.empty() ? u"" : numberText(value);
            } else {  // inlineStr, str (a formula's text), e (an error such as #N/A)
                cell.text = cellText(value);
            }
            if (cell.text.empty())
                return;
            TableRow& row = table.rows.back();
            if (column >= MAX_COLUMNS)
                throw ImportError(row.row, "a cell in column " + columnName(column) + " holds a value; a roster uses "
                                           "at most " + std::to_string(MAX_COLUMNS) + " columns");
            if (!row.cells.empty() && column <= row.cells.back().column)
                broken("the cells of row " + std::to_string(row.row) + " are out of order");
            row.cells.push_back(std::move(cell));
        }
    };
    archive.parse(sheet.part, handler);
    table.format = "Excel workbook (.xlsx)";
    return table;
}

}  // namespace

std::vector<Table> readWorkbook(std::string_view bytes, std::string_view sheetName)
{
    Archive archive(bytes);
    std::string sharedPart;
    const auto all = sheets(archive, sharedPart);
    const auto named = std::find_if(all.begin(), all.end(), [&](const Sheet& s) { return s.name == sheetName; });
    if (!sheetName.empty() && named == all.end()) {
        std::vector<std::string> names;
        for (const auto& s : all)
            names.push_back(s.name);
        noSuchSheet(sheetName, names);
    }
    const auto strings = sharedStrings(archive, sharedPart);
    std::vector<Table> tables;
    for (const Sheet& sheet : all)
        if (sheetName.empty() || &sheet == &*named)
            tables.push_back(cells(archive, sheet, strings));
    return tables;
}
