// Excel 97-2003 workbooks (.xls) into rows of cells, read with FreeXL
// (patched, tools/patches/): each cell's value, or a formula's saved result,
// and its number format, shown by the formatter as in a workbook (.xlsx);
// booleans as TRUE and FALSE; merged cells; hidden sheets, rows and columns.
#include <freexl.h>

#include <cstdio>
#include <memory>

#include "office/read/numfmt.h"
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

// What an error value shows, by its BIFF code.
std::string errorShown(int code)
{
    switch (code) {
    case 0x00: return "#NULL!";
    case 0x07: return "#DIV/0!";
    case 0x0F: return "#VALUE!";
    case 0x17: return "#REF!";
    case 0x1D: return "#NAME?";
    case 0x24: return "#NUM!";
    case 0x2A: return "#N/A";
    default: return "an error value (code " + std::to_string(code) + ")";
    }
}

// The format code of a cell: the workbook's own, or Excel's built-in one
// (nothing where its look depends on Excel's language), and its id.
std::pair<int, std::optional<std::string>> formatOf(const void* book, unsigned int row, unsigned short column)
{
    unsigned short xf = 0, id = 0;
    const char* code = nullptr;
    if (freexl_get_cell_xf_index(book, row, column, &xf) != FREEXL_OK ||
        freexl_get_xf_format_index(book, xf, &id) != FREEXL_OK)
        return {0, builtinFormat(0)};
    if (freexl_get_format_string(book, id, &code) == FREEXL_OK && code)
        return {id, std::string(code)};
    return {id, builtinFormat(id)};
}

Table sheetCells(const void* book, unsigned short index, const std::string& name, bool date1904)
{
    Table table;
    table.sheet = name;
    table.format = "Excel 97-2003 workbook (.xls)";
    unsigned short visibility = FREEXL_SHEET_VISIBLE;
    freexl_get_worksheet_visibility(book, index, &visibility);
    table.hidden = visibility != FREEXL_SHEET_VISIBLE;
    table.veryHidden = visibility == FREEXL_SHEET_VERY_HIDDEN;
    unsigned int rows = 0;
    unsigned short columns = 0;
    if (freexl_select_active_worksheet(book, index) != FREEXL_OK ||
        freexl_worksheet_dimensions(book, &rows, &columns) != FREEXL_OK)
        refused("FreeXL cannot read the sheet \"" + name + "\"");
    if (columns == 0)
        rows = 0;  // no cells, however many rows its DIMENSION claims
    unsigned int merged = 0;
    freexl_worksheet_merged_count(book, &merged);
    for (unsigned int i = 0; i < merged; ++i) {
        unsigned int first = 0, last = 0;
        unsigned short left = 0, right = 0;
        if (freexl_get_merged_cells(book, i, &first, &last, &left, &right) == FREEXL_OK && first <= last &&
            left <= right)
            table.merges.push_back({static_cast<int>(first + 1), static_cast<int>(last + 1), left, right});
    }
    for (unsigned short c = 0; c < MAX_COLUMNS; ++c) {
        int hidden = 0;
        if (freexl_get_column_hidden(book, c, &hidden) == FREEXL_OK && hidden)
            table.hiddenColumns.push_back(c);
    }
    for (unsigned int r = 0; r < rows; ++r) {
        int hidden = 0;
        freexl_get_row_hidden(book, r, &hidden);
        TableRow row{static_cast<int>(r + 1), {}, hidden != 0};
        for (unsigned short c = 0; c < columns; ++c) {
            FreeXL_CellValue value;
            if (freexl_get_cell_value(book, r, c, &value) != FREEXL_OK)
                refused("FreeXL cannot read the cell " + columnName(c) + std::to_string(r + 1) + " of the sheet \"" +
                        name + "\"");
            Cell cell{c, {}};
            double number = 0;
            const auto [id, code] = formatOf(book, r, c);
            if (value.type == FREEXL_CELL_TEXT || value.type == FREEXL_CELL_SST_TEXT) {
                cell.text = utf16(value.value.text_value);
                try {
                    if (code)
                        cell.text = utf16(formatText(value.value.text_value ? value.value.text_value : "", *code)
                                              .c_str());
                } catch (const FormatError& e) {
                    cell.problem = e.what();
                }
            } else if (value.type == FREEXL_CELL_BOOLEAN) {
                cell.text = value.value.int_value ? u"TRUE" : u"FALSE";
            } else if (value.type == FREEXL_CELL_ERROR) {
                showError(cell, errorShown(value.value.int_value));
            } else if (freexl_get_cell_number(book, r, c, &number) == FREEXL_OK) {
                showNumber(cell, number, id, code, date1904);
            }
            if (cell.text.empty() && cell.problem.empty())
                continue;
            if (c >= MAX_COLUMNS)
                throw columnsExceeded(static_cast<int>(r + 1), c);
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
    unsigned int dateMode = FREEXL_BIFF_DATEMODE_1900;
    freexl_get_info(opened, FREEXL_BIFF_DATEMODE, &dateMode);
    std::vector<std::string> names;
    for (unsigned short i = 0; i < count; ++i) {
        const char* name = nullptr;
        freexl_get_worksheet_name(opened, i, &name);
        names.push_back(name ? name : "");
    }
    std::vector<Table> tables;
    for (unsigned short i = 0; i < count; ++i)
        if (sheetName.empty() || names[i] == sheetName)
            tables.push_back(sheetCells(opened, i, names[i], dateMode == FREEXL_BIFF_DATEMODE_1904));
    if (tables.empty() && !sheetName.empty())
        noSuchSheet(sheetName, names);
    if (tables.empty())
        refused("the workbook has no sheet");
    return tables;
}
