// The office's window (pack_form.h): its layout, its states and what each
// control does. Reading and making run on a worker thread; what they find
// comes back to the interface thread through Window::post.
#include "office/window/pack_form.h"

#include <array>
#include <cstdio>
#include <sstream>

#include "roster/utf.h"

namespace fs = std::filesystem;
using otk::Kind;

namespace {

constexpr otk::ControlLayout CONTROLS[] = {
    {"Choose", Kind::Button, u"选择名册…", 12, 12, 120, 28},
    {"Reread", Kind::Button, u"重新读取", 140, 12, 100, 28},
    {"RosterPath", Kind::Label, u"名册", 250, 12, 418, 28},
    {"Report", Kind::Report, u"报告", 12, 48, 656, 250},
    {"KindLabel", Kind::Label, u"制作：", 12, 308, 70, 24},
    {"KindWindows", Kind::Radio, u"Windows 程序", 84, 308, 130, 24},
    {"KindLinux", Kind::Radio, u"Linux 程序", 218, 308, 110, 24},
    {"KindPage", Kind::Radio, u"网页", 332, 308, 80, 24},
    {"KindSite", Kind::Radio, u"网站", 416, 308, 80, 24},
    {"SheetLabel", Kind::Label, u"工作表：", 12, 340, 70, 26},
    {"Sheet", Kind::Choice, u"工作表", 84, 340, 240, 26},
    {"ColumnLabel", Kind::Label, u"哪一列：", 336, 340, 70, 26},
    {"Column", Kind::Choice, u"选择列", 408, 340, 260, 26},
    {"Protect", Kind::Check, u"加密保护（每位考生的记录只能用其身份证号打开）", 12, 372, 656, 24},
    {"Make", Kind::Button, u"制作", 12, 406, 100, 30},
    {"Cancel", Kind::Button, u"取消", 120, 406, 100, 30},
    {"Progress", Kind::Progress, u"进度", 230, 410, 438, 22},
    {"Status", Kind::Label, u"状态", 12, 442, 656, 80},
    {"OpenFolder", Kind::Button, u"打开所在文件夹", 12, 528, 150, 30},
    {"Try", Kind::Button, u"试查", 170, 528, 100, 30},
};
constexpr otk::WindowLayout LAYOUT{u"Varnholt 考试院制作工具", 680, 570, CONTROLS};

constexpr std::array KIND_RADIOS{"KindWindows", "KindLinux", "KindPage", "KindSite"};

constexpr otk::FileFilter ROSTER_FILTERS[] = {
    {u"名册 (*.xlsx *.ods *.xls *.csv *.txt)", u"*.xlsx;*.ods;*.xls;*.csv;*.txt"},
    {u"所有文件 (*)", u"*"},
};
constexpr otk::FileFilter PROGRAM_FILTERS[] = {{u"Windows 程序 (*.exe)", u"*.exe"}, {u"所有文件 (*)", u"*"}};
constexpr otk::FileFilter PAGE_FILTERS[] = {{u"网页 (*.html)", u"*.html"}};
constexpr otk::FileFilter ANY_FILTERS[] = {{u"所有文件 (*)", u"*"}};

std::u16string u16(const std::string& utf8) { return fromUtf8(utf8).value_or(u"\uFFFD"); }
std::u16string u16(const char* utf8) { return u16(std::string(utf8)); }
std::u16string u16(const fs::path& path) { return path.u16string(); }
std::string utf8(const fs::path& path) { return toUtf8(path.u16string()); }

// Text as the report box can show it safely, whatever a roster's cells or
// a file's name hold: what would act rather than show made visible
// (visibleMark), so that nothing can hide or rearrange what is said around it.
std::u16string shownSafely(std::u16string_view text)
{
    std::u16string shown;
    shown.reserve(text.size());
    for (const char16_t c : text)
        if (const std::u16string mark = visibleMark(c); !mark.empty())
            shown += mark;
        else
            shown += c;
    return shown;
}

std::u16string number(std::uintmax_t n) { return u16(std::to_string(n)); }

std::u16string sizeText(std::uintmax_t bytes)
{
    char text[64];
    if (bytes >= 1024 * 1024)
        std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / (1024.0 * 1024.0));
    else
        std::snprintf(text, sizeof text, "%.1f KB", static_cast<double>(bytes) / 1024.0);
    return u16(text) + u"（" + number(bytes) + u" 字节）";
}

std::u16string protectionText(const PackOptions& options)
{
    if (!options.protect)
        return u"未加密：任何拿到文件的人都能读出每一位考生的记录";
    return u"已加密，每位考生的记录只能用其身份证号打开（Argon2id，" + number(options.cost->opsLimit) + u" 遍，" +
           u16(memoryText(*options.cost)) + u"）";
}

// A path as a command line takes it, in double quotes.
std::u16string quoted(const fs::path& path) { return u"\"" + u16(path) + u"\""; }

}  // namespace

PackForm::Setup PackForm::shipped()
{
    Setup setup;
    const auto atHand = [](const fs::path& path) {
        std::error_code error;
        return fs::is_regular_file(path, error) ? path : fs::path();
    };
    const fs::path program = programTemplate();
#ifdef _WIN32
    setup.windowsProgram = atHand(program);
#else
    setup.linuxProgram = atHand(program);
    setup.windowsProgram = atHand(program.parent_path() / "Varnholt.exe");
#endif
    setup.page = atHand(pageTemplate());
    return setup;
}

PackForm::PackForm(Setup setup) : setup_(std::move(setup)), window_(LAYOUT)
{
    window_.onEvent("Choose", [this] { Choose_Click(); });
    window_.onEvent("Reread", [this] { Reread_Click(); });
    window_.onEvent("Sheet", [this] { Sheet_Change(); });
    window_.onEvent("Column", [this] { Column_Change(); });
    for (std::size_t k = 0; k < KIND_RADIOS.size(); ++k)
        window_.onEvent(KIND_RADIOS[k], [this, k] { Kind_Click(static_cast<Kind>(k)); });
    window_.onEvent("Protect", [this] { Protect_Click(); });
    window_.onEvent("Make", [this] { Make_Click(); });
    window_.onEvent("Cancel", [this] { Cancel_Click(); });
    window_.onEvent("OpenFolder", [this] { OpenFolder_Click(); });
    window_.onEvent("Try", [this] { Try_Click(); });
    window_.onDrop([this](const fs::path& file) { Form_Drop(file); });
    window_.onClose([this] { return Form_Close(); });

#ifdef _WIN32
    window_.setVisible("KindLinux", false);
#endif
    // The first choice: the Windows program where its template is at hand
    // (what offices hand out most), else the page, which opens anywhere.
    const Kind first = !setup_.windowsProgram.empty() ? Kind::Windows
                       : !setup_.page.empty()         ? Kind::Page
                                                      : Kind::Linux;
    window_.setChecked(KIND_RADIOS[static_cast<std::size_t>(first)], true);
    window_.setChecked("Protect", true);
    window_.setText("RosterPath", u"");
    window_.setText("Status", u"");
    window_.setText("Report", u"请选择名册（Excel、WPS 或 LibreOffice 的工作簿，或 CSV、文本文件），也可以把名册拖到这个窗口上。");
    showState();
}

PackForm::~PackForm()
{
    cancel_ = true;
}

PackForm::Kind PackForm::kind() const
{
    for (std::size_t k = 0; k < KIND_RADIOS.size(); ++k)
        if (window_.checked(KIND_RADIOS[k]))
            return static_cast<Kind>(k);
    return Kind::Page;
}

fs::path PackForm::templateOf(Kind kind) const
{
    switch (kind) {
    case Kind::Windows: return setup_.windowsProgram;
    case Kind::Linux: return setup_.linuxProgram;
    default: return setup_.page;
    }
}

// What the command line would be given for the choices made.
PackOptions PackForm::options() const
{
    PackOptions options;
    options.roster = roster_;
    options.sheet = sheet_;
    options.columns = columns_;
    options.protect = window_.checked("Protect");
    options.cost = setup_.cost;
    options.web = kind() == Kind::Page;
    options.program = templateOf(kind());
    return options;
}

// Enables what the state allows; everything else waits.
void PackForm::showState()
{
    const bool making = state_ == State::Making, reading = state_ == State::Reading;
    window_.setEnabled("Choose", !making && !reading);
    window_.setEnabled("Reread", !roster_.empty() && !making && !reading);
    const bool choosing = state_ == State::Ready || state_ == State::Refused || state_ == State::Made;
    window_.setEnabled("Sheet", choosing);
    window_.setEnabled("Column", choosing);
    window_.setVisible("ColumnLabel", columnField_ >= 0);
    window_.setVisible("Column", columnField_ >= 0);
    // The Windows program is always offered (on Linux the office points to
    // its template); the others where their template is at hand.
    for (std::size_t k = 0; k < KIND_RADIOS.size(); ++k)
        window_.setEnabled(KIND_RADIOS[k], !making && !reading &&
                                               (k == 0 || !templateOf(static_cast<Kind>(k)).empty()));
    window_.setEnabled("Protect", !making && !reading);
    window_.setEnabled("Make", state_ == State::Ready || state_ == State::Made);
    window_.setEnabled("Cancel", making);
    window_.setEnabled("OpenFolder", state_ == State::Made);
    window_.setEnabled("Try", state_ == State::Made);
    const bool sheets = !sheets_.empty();
    window_.setVisible("SheetLabel", sheets);
    window_.setVisible("Sheet", sheets);
}

void PackForm::start(std::function<void()> work)
{
    if (worker_.joinable())
        worker_.join();  // finished: its last act was to post its result
    worker_ = std::jthread(std::move(work));
}

// ---- The roster -------------------------------------------------------------

void PackForm::open(const fs::path& roster)
{
    if (state_ == State::Making || state_ == State::Reading)
        return;
    roster_ = roster;
    sheet_.clear();
    sheets_.clear();
    window_.setChoices("Sheet", {}, -1);
    columns_ = {};
    columnField_ = -1;
    columnLetters_.clear();
    window_.setChoices("Column", {}, -1);
    window_.setText("RosterPath", u16(roster_));
    read();
}

void PackForm::Choose_Click()
{
    if (const auto roster = window_.openFile(u"选择名册", ROSTER_FILTERS))
        open(*roster);
}

void PackForm::Form_Drop(const fs::path& file) { open(file); }

void PackForm::Reread_Click() { read(); }

void PackForm::Sheet_Change()
{
    const int chosen = window_.chosen("Sheet");
    sheet_ = chosen > 0 ? sheets_[static_cast<std::size_t>(chosen - 1)] : std::string();
    read();
}

void PackForm::Column_Change()
{
    const int chosen = window_.chosen("Column");
    if (columnField_ < 0 || chosen < 0)
        return;
    columns_[static_cast<std::size_t>(columnField_)] = u16(columnLetters_[static_cast<std::size_t>(chosen)]);
    read();
}

// Reads the roster off the interface thread: a roster of many thousand rows
// takes a while, and the window stays responsive meanwhile.
std::optional<std::pair<fs::file_time_type, std::uintmax_t>> PackForm::stamp() const
{
    std::error_code error;
    const auto time = fs::last_write_time(roster_, error);
    const auto size = error ? 0 : fs::file_size(roster_, error);
    if (error)
        return std::nullopt;
    return std::pair(time, size);
}

void PackForm::read()
{
    stamp_ = stamp();
    state_ = State::Reading;
    made_.reset();
    window_.setText("Status", u"正在读取名册…");
    window_.setProgress("Progress", 0, 1);
    showState();
    start([this, options = options()] {
        auto roster = std::make_shared<ReadRoster>();
        std::string failure;
        try {
            readRecords(*roster, options);
        } catch (const PackFailure& error) {
            failure = error.what();
        } catch (const std::exception& error) {
            failure = utf8(options.roster) + ": error: " + error.what();
        }
        window_.post([this, roster, failure] { showRead(roster, failure); });
    });
}

void PackForm::showRead(std::shared_ptr<ReadRoster> roster, std::string failure)
{
    if (!failure.empty()) {
        read_.reset();
        state_ = State::Empty;
        window_.setText("Report", u"这个名册读不出来：\n" + shownSafely(u16(failure)) +
                                      u"\n\n请确认文件还在、没有在别的程序里锁定，然后按“重新读取”，或选择另一个名册。");
        window_.setText("Status", u"名册读不出来。");
        showState();
        return;
    }
    read_ = std::move(roster);
    const RosterFile& file = read_->file;
    if (sheets_.empty() && sheet_.empty()) {
        for (const Place& header : file.headers)
            if (!header.sheet.empty())
                sheets_.push_back(header.sheet);
        for (const std::string& sheet : file.skippedSheets)
            sheets_.push_back(sheet);
        if (!sheets_.empty()) {
            std::vector<std::u16string> choices{u"所有带表头的工作表"};
            for (const std::string& sheet : sheets_)
                choices.push_back(shownSafely(u16(sheet)));
            window_.setChoices("Sheet", choices, 0);
        }
    }
    std::ostringstream said;
    std::u16string lead;
    const PackOptions chosen = options();
    // Several columns that could hold one field: the office chooses here,
    // as --column chooses on the command line.
    for (const RosterProblem& problem : read_->problems)
        if (problem.field >= 0 && columnField_ < 0) {
            columnField_ = problem.field;
            std::vector<std::u16string> shown;
            for (const auto& [letter, header] : problem.columns) {
                columnLetters_.push_back(letter);
                shown.push_back(shownSafely(u16(header)));
            }
            window_.setChoices("Column", shown, -1);
        }
    if (!read_->problems.empty()) {
        state_ = State::Refused;
        reportErrors(said, roster_, read_->problems);
        lead = u"名册有 " + number(read_->problems.size()) +
               u" 处错误，改正之前不能制作任何文件。请在 Excel（或 WPS）中改正并保存，再按“重新读取”。\n" +
               (columnField_ >= 0 && columns_[static_cast<std::size_t>(columnField_)].empty()
                    ? u"有几列都可能是要用的那一列：请在“哪一列”里选一列。\n\n"
                    : u"\n");
        window_.setText("Status", u"名册有错误，不能制作。");
    } else {
        state_ = State::Ready;
        report(said, file, roster_, chosen, *chosen.cost);
        reportWarnings(said, roster_, file.warnings, true);
        lead = u"名册已读取：" + number(file.records.size()) + u" 条记录" +
               (file.warnings.empty() ? u"。" : u"，有 " + number(file.warnings.size()) + u" 条提醒，请看下面。") +
               u"\n\n";
        window_.setText("Status", u"可以制作。");
    }
    report_ = lead + shownSafely(u16(said.str()));
    window_.setText("Report", report_);
    showState();
    showFit();
}

// A roster that does not fit one file is said before the office waits for
// nothing: a program or page is refused, and the site offered.
void PackForm::showFit()
{
    if (state_ != State::Ready && state_ != State::Made)
        return;
    if (kind() == Kind::Site || templateOf(kind()).empty())
        return;
    try {
        const PackOptions chosen = options();
        checkFits(read_->file.records, chosen, readTemplate(chosen).capacity);
    } catch (const PackFailure& error) {
        state_ = State::Refused;
        window_.setText("Status", u"名册太大，放不进一个" + std::u16string(kind() == Kind::Page ? u"网页" : u"程序") +
                                      u"文件：可以改为制作网站（“网站”），或把名册分成几份。");
        report_ += u"\n" + shownSafely(u16(error.what())) + u"\n";
        window_.setText("Report", report_);
        showState();
    }
}

// ---- What to make ----------------------------------------------------------------

void PackForm::Kind_Click(Kind chosen)
{
    if (state_ == State::Making || state_ == State::Reading)
        return;
    if (chosen == Kind::Windows && setup_.windowsProgram.empty()) {
        // The Windows template comes in the ZIP, as Varnholt.exe; the office
        // points to it once.
        const auto program = window_.openFile(u"找到 Windows 程序的模板 Varnholt.exe（在发布的 ZIP 文件里）", PROGRAM_FILTERS);
        std::u16string refused;
        if (program) {
            try {
                PackOptions probe;
                probe.program = *program;
                if (!isWindowsProgram(readTemplate(probe).image))
                    refused = u"这不是 Windows 程序（.exe）。";
                else
                    setup_.windowsProgram = *program;
            } catch (const PackFailure& error) {
                refused = shownSafely(u16(error.what()));
            }
            if (!refused.empty())
                window_.tell(refused, u"不能用这个文件", true);
        }
        if (setup_.windowsProgram.empty()) {
            window_.setChecked("KindWindows", false);
            window_.setChecked(setup_.page.empty() ? "KindLinux" : "KindPage", true);
            return;
        }
    }
    if (state_ == State::Refused && read_ && read_->problems.empty())
        state_ = State::Ready;  // refused for its size only: the new choice may fit
    if (read_ && state_ != State::Refused) {
        showRead(read_, {});
        return;
    }
    showState();
}

void PackForm::Protect_Click()
{
    if (state_ == State::Making || state_ == State::Reading)
        return;
    if (!window_.checked("Protect") &&
        !window_.ask(u"不加密时，任何拿到这个文件的人，都能读出每一位考生的身份证号、姓名和成绩。\n\n确定不加密吗？",
                     u"不加密"))
        window_.setChecked("Protect", true);
    if (read_ && read_->problems.empty()) {
        state_ = State::Ready;
        showRead(read_, {});
    }
}

// ---- Making -----------------------------------------------------------------

// Where to write: a save dialog (a folder for a site) offering today's name
// beside the roster; a file or site that is there is replaced only when the
// office says so.
std::optional<fs::path> PackForm::chooseOutput(const PackOptions& options, const Template& program)
{
    if (kind() == Kind::Site) {
        const auto folder = window_.chooseFolder(u"选择网站的文件夹", roster_.parent_path());
        std::error_code error;
        if (folder && fs::exists(*folder / "index.html", error) &&
            !window_.ask(u"这个文件夹里已经有一个网站：\n" + u16(*folder) +
                             u"\n\n要用新名册替换它的网页吗？（旧的数据文件夹保留，已打开的网页仍能查询。）",
                         u"替换网站"))
            return std::nullopt;
        return folder;
    }
    const fs::path suggested = defaultOutput(options, program.path, program.image);
    const auto filters = kind() == Kind::Page      ? std::span<const otk::FileFilter>(PAGE_FILTERS)
                         : kind() == Kind::Windows ? std::span<const otk::FileFilter>(PROGRAM_FILTERS)
                                                   : std::span<const otk::FileFilter>(ANY_FILTERS);
    const auto output = window_.saveFile(u"保存为", suggested, filters);
    std::error_code error;
    if (output && fs::exists(*output, error) &&
        !window_.ask(u"这个文件已经存在：\n" + u16(*output) + u"\n\n要替换它吗？", u"替换文件"))
        return std::nullopt;
    return output;
}

void PackForm::Make_Click()
{
    if (state_ != State::Ready && state_ != State::Made)
        return;
    // What is made is what the report shows: a roster changed or gone since
    // is read again first.
    if (!stamp_ || stamp() != stamp_) {
        window_.tell(u"名册在读取之后改变了，或者已经不在原处：\n" + u16(roster_) +
                         u"\n\n请按“重新读取”，看过新的报告再制作。",
                     u"名册已改变", true);
        return;
    }
    PackOptions chosen = options();
    auto program = std::make_shared<Template>();
    try {
        PackOptions page = chosen;
        page.web = kind() == Kind::Page || kind() == Kind::Site;  // a site's template is the page
        *program = readTemplate(page);
        if (kind() != Kind::Site)
            checkFits(read_->file.records, chosen, program->capacity);
    } catch (const PackFailure& error) {
        window_.tell(shownSafely(u16(error.what())), u"不能制作", true);
        return;
    }
    const auto output = chooseOutput(chosen, *program);
    if (!output)
        return;
    (kind() == Kind::Site ? chosen.site : chosen.output) = *output;
    try {
        outputPath(chosen, *program);
    } catch (const PackFailure& error) {
        window_.tell(shownSafely(u16(error.what())), u"不能制作", true);
        return;
    }

    state_ = State::Making;
    madeKind_ = kind();
    cancel_ = false;
    started_ = std::chrono::steady_clock::now();
    window_.setProgress("Progress", 0, static_cast<long long>(read_->file.records.size()));
    window_.setText("Status", chosen.protect ? u"正在加密…" : u"正在写入…");
    showState();
    start([this, chosen, program, roster = read_] {
        MakeHooks hooks{.progress =
                            [this, last = std::chrono::steady_clock::time_point()](std::size_t done,
                                                                                  std::size_t total) mutable {
                                // A few times a second is what a bar can show.
                                const auto now = std::chrono::steady_clock::now();
                                if (done != total && now - last < std::chrono::milliseconds(100))
                                    return;
                                last = now;
                                window_.post([this, done, total] { progress(done, total); });
                            },
                        .cancel = &cancel_};
        try {
            Made made = make(chosen, roster->file, *program, hooks);
            window_.post([this, made] { showMade(made); });
        } catch (const PackCancelled&) {
            window_.post([this] { showStopped(u"已取消，没有留下任何文件。"); });
        } catch (const PackFailure& error) {
            const std::u16string why = u16(error.what());
            window_.post([this, why] { showStopped(u"没有制作成功：\n" + shownSafely(why)); });
        } catch (const std::exception& error) {
            const std::u16string why = u16(error.what());
            window_.post([this, why] { showStopped(u"没有制作成功：" + shownSafely(why)); });
        }
    });
}

void PackForm::progress(std::size_t done, std::size_t total)
{
    if (state_ != State::Making)
        return;
    window_.setProgress("Progress", static_cast<long long>(done), static_cast<long long>(total));
    std::u16string text = u"已加密 " + number(done) + u" / " + number(total) + u" 条";
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    // Time left once a few seconds of sealing can tell it.
    if (done > 0 && done < total && elapsed >= 2) {
        const auto left = static_cast<std::uintmax_t>(elapsed * static_cast<double>(total - done) / static_cast<double>(done) + 0.5);
        text += left < 90 ? u"，约剩 " + number(left) + u" 秒" : u"，约剩 " + number((left + 30) / 60) + u" 分钟";
    }
    window_.setText("Status", cancel_ ? u"正在取消…" : text);
}

void PackForm::showMade(const Made& made)
{
    state_ = State::Made;
    made_ = made;
    const PackOptions chosen = options();
    const auto total = static_cast<long long>(read_->file.records.size());
    window_.setProgress("Progress", total, total);
    std::u16string said;
    if (made.site)
        said = u"已写入网站：" + u16(made.site->page) + u"\n位置：" + u16(made.site->folder.parent_path()) +
               u"（数据在 " + u16(made.site->folder.filename()) + u" 里，" + number(made.site->buckets) + u" 个文件，" +
               sizeText(made.site->bytes) + u"）\n保护：" + protectionText(chosen);
    else
        said = u"已写入：" + u16(made.path.filename()) + u"\n位置：" + u16(made.path.parent_path()) + u"\n大小：" +
               sizeText(made.bytes) + u"\n保护：" + protectionText(chosen);
    window_.setText("Status", said);
    std::u16string report = report_ + u"\n—— 制作完成 ——\n" + said + u"\n";
    if (!made.site)
        report += u"SHA-256：" + u16(made.sha256) + u"\n";
    if (madeKind_ == Kind::Windows)
        report += u"\n签名（在命令行中进行，窗口不签名）：\nvarnholt-pack " + quoted(roster_) + u" --program " +
                  quoted(templateOf(Kind::Windows)) + (chosen.protect ? u"" : u" --no-protect") +
                  (sheet_.empty() ? u"" : u" --sheet \"" + u16(sheet_) + u"\"") + u" --sign 证书.p12 --sign-pass-file 密码.txt -o " +
                  quoted(made.path) + u"\n";
    if (madeKind_ == Kind::Site)
        report += u"\n把整个文件夹发布到网站服务器上，考生从网址打开 index.html 查询（见考试院指南）。\n";
    window_.setText("Report", report);
    showState();
}

void PackForm::showStopped(const std::u16string& why)
{
    state_ = read_ && read_->problems.empty() ? State::Ready : State::Refused;
    window_.setProgress("Progress", 0, 1);
    window_.setText("Status", why);
    showState();
}

void PackForm::Cancel_Click()
{
    if (state_ != State::Making)
        return;
    cancel_ = true;
    window_.setEnabled("Cancel", false);
    window_.setText("Status", u"正在取消…");
}

// ---- The result ----------------------------------------------------------------

void PackForm::OpenFolder_Click()
{
    if (!made_)
        return;
    const fs::path folder = made_->site ? made_->site->page.parent_path() : made_->path.parent_path();
    if (!otk::openWithSystem(folder))
        window_.tell(u"打不开文件夹：" + u16(folder), u"打开所在文件夹", true);
}

// What was made, opened as a candidate would: the program run, the page in
// the default browser. A site works only from its web address.
void PackForm::Try_Click()
{
    if (!made_)
        return;
    if (made_->site) {
        window_.tell(u"网站要从它的网址打开才能查询：把文件夹\n" + u16(made_->site->page.parent_path()) +
                         u"\n整个发布到网站服务器上，再在浏览器中打开它的网址（……/index.html）。\n"
                         u"直接双击 index.html 不能查询：浏览器不让本地网页读取数据文件。",
                     u"试查");
        return;
    }
#ifndef _WIN32
    if (madeKind_ == Kind::Windows) {
        window_.tell(u"Windows 程序要在 Windows 电脑上试查：把\n" + u16(made_->path) + u"\n复制过去，双击打开。",
                     u"试查");
        return;
    }
#endif
    if (!otk::openWithSystem(made_->path))
        window_.tell(u"打不开：" + u16(made_->path), u"试查", true);
}

bool PackForm::Form_Close()
{
    if (state_ != State::Making)
        return true;
    if (!window_.ask(u"正在制作。关闭窗口会取消制作，不留下任何文件。\n\n要关闭吗？", u"关闭"))
        return false;
    cancel_ = true;  // the destructor waits for the worker, which removes what it began
    return true;
}
