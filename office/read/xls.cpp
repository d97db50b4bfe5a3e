// Excel 97-2003 workbooks (.xls) into rows of cells, read with FreeXL.
//
// FreeXL gives a cell's text, or a number's value and whether its format is
// a date, never the number format itself: how the sheet shows a number
// (78.50, 87分, 0000010001) cannot be known, so a number keeps its value's
// text and is marked for the reader to refuse. It reads no formula: a cell
// computed by one reads as empty. Nor does it say which rows, columns or
// sheets are hidden.
#include <freexl.h>

#include <charconv>
#include <cstdio>
#include <memory>

#include "office/read/table.h"
#include "roster/utf.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

// Columns a roster may use, as for a workbook (.xlsx).
constexpr unsigned short MAX_COLUMNS = 1024;

[[noreturn]] void refused(const std::string& problem)
{
    throw ImportError(0, problem + ": save it as an Excel workbook (.xlsx) and pack that");
}

// FreeXL opens a file by its name: the bytes are given one that lives in
// memory on Linux and in a temporary file on Windows, overwritten and
// removed once read.
class FileOfBytes {
public:
    explicit FileOfBytes(std::string_view bytes) : size_(bytes.size())
    {
#ifdef _WIN32
        char folder[MAX_PATH + 1], name[MAX_PATH + 1];
        if (!GetTempPathA(sizeof folder, folder) || !GetTempFileNameA(folder, "vxl", 0, name))
            refused("the workbook cannot be given to FreeXL (no temporary file)");
        path_ = name;
        write(bytes);
#else
        descriptor_ = memfd_create("roster.xls", 0);
        if (descriptor_ < 0 || ::write(descriptor_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
            refused("the workbook cannot be given to FreeXL (no memory file)");
        path_ = "/proc/self/fd/" + std::to_string(descriptor_);
#endif
    }
    ~FileOfBytes()
    {
#ifdef _WIN32
        write(std::string(size_, '\0'));
        DeleteFileA(path_.c_str());
#else
        close(descriptor_);
#endif
    }
    FileOfBytes(const FileOfBytes&) = delete;
    FileOfBytes& operator=(const FileOfBytes&) = delete;
    const char* path() const { return path_.c_str(); }

private:
#ifdef _WIN32
    void write(std::string_view bytes)
    {
        const HANDLE file = CreateFileA(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_TEMPORARY, nullptr);
        DWORD written = 0;
        const bool whole = file != INVALID_HANDLE_VALUE &&
                           WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                           written == bytes.size();
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
        if (!whole)
            refused("the workbook cannot be given to FreeXL (the temporary file cannot be written)");
    }
#else
    int descriptor_ = -1;
#endif
    std::size_t size_;
    std::string path_;
};

std::u16string utf16(const char* text) { return fromUtf8(text ? text : "").value_or(u"\uFFFD"); }

// A number's value as the General format shows it: at most 15 significant
// digits.
std::u16string valueText(double value)
{
    char text[32];
    const auto written = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 15);
    return utf16(std::string(text, written.ptr).c_str());
}

Table sheetCells(const void* book, unsigned short index, const std::string& name)
{
    Table table;
    table.sheet = name;
    table.format = "Excel 97-2003 workbook (.xls)";
    table.formulasUnread = true;
    unsigned int rows = 0;
    unsigned short columns = 0;
    if (freexl_select_active_worksheet(book, index) != FREEXL_OK ||
        freexl_worksheet_dimensions(book, &rows, &columns) != FREEXL_OK)
        refused("FreeXL cannot read the sheet \"" + name + "\"");
    for (unsigned int r = 0; r < rows; ++r) {
        TableRow row{static_cast<int>(r + 1), {}};
        for (unsigned short c = 0; c < columns; ++c) {
            FreeXL_CellValue value;
            if (freexl_get_cell_value(book, r, c, &value) != FREEXL_OK)
                refused("FreeXL cannot read the cell " + columnName(c) + std::to_string(r + 1) + " of the sheet \"" +
                        name + "\"");
            Cell cell{c, {}};
            switch (value.type) {
            case FREEXL_CELL_TEXT:
            case FREEXL_CELL_SST_TEXT: cell.text = utf16(value.value.text_value); break;
            case FREEXL_CELL_INT: cell.text = valueText(value.value.int_value), cell.formatUnknown = true; break;
            case FREEXL_CELL_DOUBLE: cell.text = valueText(value.value.double_value), cell.formatUnknown = true; break;
            case FREEXL_CELL_DATE:
            case FREEXL_CELL_DATETIME:
            case FREEXL_CELL_TIME: cell.text = utf16(value.value.text_value), cell.formatUnknown = true; break;
            default: break;
            }
            cell.number = cell.formatUnknown;
            if (cell.text.empty())
                continue;
            if (c >= MAX_COLUMNS)
                throw ImportError(static_cast<int>(r + 1), "a cell in column " + columnName(c) +
                                                               " holds a value; a roster uses at most " +
                                                               std::to_string(MAX_COLUMNS) + " columns");
            row.cells.push_back(std::move(cell));
        }
        if (!row.cells.empty())
            table.rows.push_back(std::move(row));
    }
    return table;
}

}  // namespace

std::vector<Table> readXls(std::string_view bytes, std::string_view sheetName)
{
    const FileOfBytes file(bytes);
    const void* opened = nullptr;
    const int status = freexl_open(file.path(), &opened);
    const std::unique_ptr<const void, int (*)(const void*)> book(opened, freexl_close);
    if (status != FREEXL_OK)
        refused(status == FREEXL_BIFF_WORKBOOK_NOT_FOUND || status == FREEXL_INVALID_CFBF_HEADER
                    ? "not an Excel 97-2003 workbook (.xls) that FreeXL reads: a WPS workbook (.et) or a workbook "
                      "with a password, perhaps"
                    : "FreeXL cannot read this Excel 97-2003 workbook (.xls) (FreeXL error " +
                          std::to_string(status) + ")");
    unsigned int password = 0, count = 0;
    freexl_get_info(opened, FREEXL_BIFF_PASSWORD, &password);
    if (password == FREEXL_BIFF_OBFUSCATED)
        refused("the workbook has a password: remove it in Excel or WPS");
    freexl_get_info(opened, FREEXL_BIFF_SHEET_COUNT, &count);
    std::vector<std::string> names;
    for (unsigned short i = 0; i < count; ++i) {
        const char* name = nullptr;
        freexl_get_worksheet_name(opened, i, &name);
        names.push_back(name ? name : "");
    }
    std::vector<Table> tables;
    for (unsigned short i = 0; i < count; ++i)
        if (sheetName.empty() || names[i] == sheetName)
            tables.push_back(sheetCells(opened, i, names[i]));
    if (tables.empty() && !sheetName.empty())
        noSuchSheet(sheetName, names);
    if (tables.empty())
        refused("the workbook has no sheet");
    return tables;
}
