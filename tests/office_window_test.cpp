// The office's window driven as a clerk drives it: a roster given, dropped,
// refused and read again; each kind made and compared with varnholt-pack's
// file for the same choices; protection turned off; sealing cancelled, and
// the window closed while it seals.
#include <gtest/gtest.h>
#include <sodium.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

#ifdef _WIN32
#include <windows.h>
#endif

#include "roster/utf.h"
#include "tests/office_driver.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr std::u16string_view PROTECT = u"加密保护（每位考生的记录只能用其身份证号打开）";

fs::path freshFolder(const std::string& name)
{
    const fs::path folder = fs::temp_directory_path() / ("office-window-" + name);
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

void write(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::string bytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

constexpr const char* HEADER = "准考证号\t身份证号\t姓名\t成绩\t备注\n";

// `count` records with distinct ticket and identity numbers (never ending in
// zeros, which the reader takes for Excel's rounding).
std::string records(int count)
{
    std::string text = HEADER;
    for (int i = 0; i < count; ++i)
        text += "107310" + std::to_string(20000 + i) + "\t51010419900" + std::to_string(100000 + i) + "X\t张三\t" +
                std::to_string(50 + i % 50) + "\t\n";
    return text;
}

// The program this system makes, and its default name beside a roster 名册.
#ifdef _WIN32
constexpr std::u16string_view PROGRAM = u"Windows 程序";
const fs::path DEFAULT_PROGRAM = u8"Varnholt-名册.exe";
#else
constexpr std::u16string_view PROGRAM = u"Linux 程序";
const fs::path DEFAULT_PROGRAM = u8"varnholt-名册";
#endif

// A path on varnholt-pack's command line, in UTF-8.
std::string arg(const fs::path& path)
{
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

// varnholt-pack's answer for the same roster and choices, its arguments in UTF-8.
int pack(const std::string& args)
{
#ifdef _WIN32  // started directly: cmd would take the quotes apart
    // On this test's console, so the packer knows it was not dropped onto.
    std::wstring command = fs::path(u8"\"" VARNHOLT_PACK "\" ").wstring() +
                           fs::path(std::u8string(args.begin(), args.end())).wstring();
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process))
        return -1;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 1;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(status);
#else
    return std::system(("\"" VARNHOLT_PACK "\" " + args + " > /dev/null 2>&1").c_str());
#endif
}

PackForm::Setup setup(SealCost cost = TEST_COST)
{
    PackForm::Setup setup;
#ifdef _WIN32
    setup.windowsProgram = VARNHOLT_PROGRAM;
#else
    setup.linuxProgram = VARNHOLT_PROGRAM;
#endif
    if (fs::exists(VARNHOLT_PAGE))
        setup.page = VARNHOLT_PAGE;
    setup.cost = cost;
    return setup;
}

// The sizes of every file under a folder but the compressed twins, whose
// sizes vary with the packing's own identifier inside them.
std::multiset<std::uintmax_t> sizes(const fs::path& folder)
{
    std::multiset<std::uintmax_t> found;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file() && entry.path().extension() != ".gz" && entry.path().extension() != ".br")
            found.insert(entry.file_size());
    return found;
}

std::vector<fs::path> filesIn(const fs::path& folder)
{
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(folder))
        found.push_back(entry.path().filename());
    std::sort(found.begin(), found.end());
    return found;
}

// The guide's screenshots, taken on the way when OFFICE_SCREENSHOTS names a folder.
void screenshot(const OfficeDriver& office, const char* name)
{
    if (const char* folder = std::getenv("OFFICE_SCREENSHOTS"))
        office.screenshot(fs::path(folder) / (std::string(name) + ".png"));
}

}  // namespace

TEST(OfficeWindow, readsItsRosterShowsEveryProblemSafelyAndRereadsItOnceFixed)
{
    const fs::path folder = freshFolder("read");
    // A footer with a right-to-left override and an escape sequence: shown, never obeyed.
    write(folder / u8"名册.txt", records(3) + "制表\u202E人\x1b[2J\n");
    OfficeDriver office(setup(), folder / u8"名册.txt");
    ASSERT_TRUE(office.waitUntil([&] { return office.enabled(u"制作"); }));
    const std::u16string report = office.text(u"报告");
    EXPECT_NE(report.find(u"3 条记录"), std::u16string::npos) << toUtf8(report);
    EXPECT_NE(report.find(u"records:                      3"), std::u16string::npos);
    EXPECT_NE(report.find(u"skipped: after the last record"), std::u16string::npos);
    EXPECT_NE(report.find(u"[U+202E]"), std::u16string::npos);
    EXPECT_NE(report.find(u"\u241B[2J"), std::u16string::npos);
    EXPECT_EQ(report.find(u'\u202E'), std::u16string::npos);
    EXPECT_EQ(report.find(u'\x1b'), std::u16string::npos);

    // A folder dropped by mistake cannot be read: said, with what to do.
    office.drop(folder);
    ASSERT_TRUE(office.waitUntil([&] { return office.text(u"状态") == u"名册读不出来。"; }));
    EXPECT_NE(office.text(u"报告").find(u"cannot read the file: it is a folder"), std::u16string::npos);
    EXPECT_FALSE(office.enabled(u"制作"));

    // A roster with an error, dropped onto the window: nothing can be made.
    write(folder / u8"重复.txt", std::string(HEADER) + "10731020102\t510104199001011002\t张三\t61\t\n" +
                                   "10731020102\t510104199001011004\t王五\t59\t\n");
    office.drop(folder / u8"重复.txt");
    ASSERT_TRUE(office.waitUntil([&] { return office.enabled(u"重新读取"); }));
    EXPECT_FALSE(office.enabled(u"制作"));
    EXPECT_NE(office.text(u"报告").find(u"row 3: error: the ticket number 10731020102 repeats the one on row 2"),
              std::u16string::npos)
        << toUtf8(office.text(u"报告"));
    EXPECT_NE(office.text(u"报告").find(u"1 处错误"), std::u16string::npos);
    screenshot(office, "office-roster-with-problems");

    // Fixed in the spreadsheet, read again.
    write(folder / u8"重复.txt", std::string(HEADER) + "10731020102\t510104199001011002\t张三\t61\t\n" +
                                   "10731020103\t510104199001011004\t王五\t59\t\n");
    office.click(u"重新读取");
    ASSERT_TRUE(office.waitUntil([&] { return office.enabled(u"制作"); }));
    EXPECT_NE(office.text(u"报告").find(u"2 条记录"), std::u16string::npos);
    EXPECT_TRUE(office.asked().empty());

    // Two columns that could be the score: chosen in the window, not retyped.
    write(folder / u8"两列.txt", "准考证号\t身份证号\t姓名\t笔试成绩\t总成绩\t备注\n"
                               "10731020102\t510104199001011002\t张三\t61\t75\t\n");
    office.drop(folder / u8"两列.txt");
    ASSERT_TRUE(office.waitUntil([&] { return office.enabled(u"重新读取"); }));
    EXPECT_FALSE(office.enabled(u"制作"));
    ASSERT_EQ(office.choices(u"选择列"), (std::vector<std::u16string>{u"笔试成绩 (D)", u"总成绩 (E)"}));
    office.choose(u"选择列", 1);
    ASSERT_TRUE(office.waitUntil([&] { return office.enabled(u"制作"); }));
    EXPECT_NE(office.text(u"报告").find(u"chosen: the column 总成绩 (E) as 成绩"), std::u16string::npos)
        << toUtf8(office.text(u"报告"));

    // Gone before it is made: said, and nothing is asked or written.
    fs::remove(folder / u8"两列.txt");
    office.click(u"制作");
    const auto asked = office.asked();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].kind, otk::Asked::Kind::Message);
    EXPECT_NE(asked[0].prompt.find(u"重新读取"), std::u16string::npos);

    // A workbook of two sheets: one of them chosen, made as --sheet makes it.
    const fs::path workbook = fs::path(TEST_DATA) / "office" / "roster.xlsx";
    office.drop(workbook);
    ASSERT_TRUE(office.waitUntil([&] { return office.enabled(u"制作"); }));
    ASSERT_EQ(office.choices(u"工作表"), (std::vector<std::u16string>{u"所有带表头的工作表", u"第一考场", u"第二考场"}));
    office.choose(u"工作表", 2);
    ASSERT_TRUE(office.waitUntil([&] { return office.enabled(u"制作"); }));
    office.click(u"Linux 程序");
    office.answer({{.yes = true}, {.path = folder / u8"第二考场"}});
    office.click(PROTECT);
    office.click(u"制作");
    ASSERT_TRUE(office.waitUntil([&] { return office.enabled(u"试查"); }));
    ASSERT_EQ(pack("\"" + workbook.string() + "\" --sheet 第二考场 --no-protect --program \"" VARNHOLT_PROGRAM "\" -o \"" +
                   (folder / u8"cli").string() + "\""),
              0);
    EXPECT_TRUE(bytes(folder / u8"第二考场") == bytes(folder / u8"cli"));
    ASSERT_EQ(pack("\"" + workbook.string() + "\" --no-protect --program \"" VARNHOLT_PROGRAM "\" -o \"" +
                   (folder / u8"cli-all").string() + "\""),
              0);
    EXPECT_FALSE(bytes(folder / u8"第二考场") == bytes(folder / u8"cli-all"));
}

TEST(OfficeWindow, makesEachKindAsTheCommandLineDoes)
{
    const fs::path folder = freshFolder("kinds");
    write(folder / u8"名册.txt", records(40));
    OfficeDriver office(setup(), folder / u8"名册.txt");
    ASSERT_TRUE(office.waitUntil([&] { return office.enabled(u"制作"); }));

#ifndef _WIN32
    // On Linux the Windows program is made from a Varnholt.exe the office points to; not from another file.
    office.answer({{.path = fs::path(VARNHOLT_PROGRAM)}});
    office.click(u"Windows 程序");
    auto refused = office.asked();
    ASSERT_EQ(refused.size(), 2u);
    EXPECT_EQ(refused[0].kind, otk::Asked::Kind::OpenFile);
    EXPECT_NE(refused[1].prompt.find(u"不是 Windows 程序"), std::u16string::npos);
    EXPECT_FALSE(office.checked(u"Windows 程序"));
#endif

    // Protection off asks once, in the office's words; 否 keeps it on.
    EXPECT_TRUE(office.checked(PROTECT));
    office.answer({{.yes = false}});
    office.click(PROTECT);
    auto asked = office.asked();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].kind, otk::Asked::Kind::Question);
    EXPECT_NE(asked[0].prompt.find(u"任何拿到这个文件的人，都能读出每一位考生的身份证号、姓名和成绩"), std::u16string::npos);
    EXPECT_TRUE(office.checked(PROTECT));
    office.answer({{.yes = true}});
    office.click(PROTECT);
    EXPECT_FALSE(office.checked(PROTECT));
    EXPECT_NE(office.text(u"报告").find(u"NOT protected"), std::u16string::npos);
    EXPECT_EQ(office.asked().size(), 1u);

    const auto made = [&](const std::vector<otk::Answer>& answers) {
        office.answer(answers);
        office.click(u"制作");
        return office.waitUntil([&] { return office.enabled(u"试查") && office.enabled(u"制作"); });
    };
    // The Linux program, offered today's name beside the roster.
    office.click(PROGRAM);
    ASSERT_TRUE(made({{.path = folder / u8"程序"}}));
    asked = office.asked();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].suggested, folder / DEFAULT_PROGRAM);
    ASSERT_EQ(pack("\"" + arg(folder / u8"名册.txt") + "\" --no-protect --program \"" VARNHOLT_PROGRAM "\" -o \"" +
                   arg(folder / u8"cli") + "\""),
              0);
    EXPECT_TRUE(bytes(folder / u8"程序") == bytes(folder / u8"cli")) << "the window's program differs from varnholt-pack's";
    EXPECT_NE(office.text(u"状态").find(u"未加密"), std::u16string::npos);

    // A folder that cannot be written: said in the window, and nothing is left.
    office.answer({{.path = folder / u8"没有" / u8"程序"}});
    office.click(u"制作");
    ASSERT_TRUE(office.waitUntil([&] { return office.text(u"状态").find(u"没有制作成功") != std::u16string::npos; }));
    EXPECT_NE(office.text(u"状态").find(u"cannot write the program file"), std::u16string::npos);
    EXPECT_TRUE(office.enabled(u"制作"));
    EXPECT_FALSE(fs::exists(folder / u8"没有"));
    office.asked();

    // A file that is there is replaced only when the office says so.
    fs::remove(folder / u8"cli");
    write(folder / u8"在了", "kept");
    office.answer({{.path = folder / u8"在了"}, {.yes = false}});
    office.click(u"制作");
    asked = office.asked();
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_NE(asked[1].prompt.find(u"已经存在"), std::u16string::npos);
    EXPECT_EQ(bytes(folder / u8"在了"), "kept");

    if (fs::exists(VARNHOLT_PAGE)) {
        office.click(u"网页");
        ASSERT_TRUE(made({{.path = folder / u8"页.html"}}));
        ASSERT_EQ(pack("\"" + arg(folder / u8"名册.txt") + "\" --no-protect --web --program \"" VARNHOLT_PAGE
                       "\" -o \"" + arg(folder / u8"cli.html") + "\""),
                  0);
        EXPECT_TRUE(bytes(folder / u8"页.html") == bytes(folder / u8"cli.html"));

        // A site: its files as varnholt-pack's, but for the packing's own identifier.
        office.click(u"网站");
        ASSERT_TRUE(made({{.path = folder / u8"站"}}));
        ASSERT_EQ(pack("\"" + arg(folder / u8"名册.txt") + "\" --no-protect --site \"" + arg(folder / u8"cli-site") +
                       "\" --program \"" VARNHOLT_PAGE "\""),
                  0);
        EXPECT_EQ(sizes(folder / u8"站"), sizes(folder / u8"cli-site"));
        // Tried, it says how a site is opened rather than opening a file that cannot look anyone up.
        office.asked();
        office.click(u"试查");
        asked = office.asked();
        ASSERT_EQ(asked.size(), 1u);
        EXPECT_NE(asked[0].prompt.find(u"网址"), std::u16string::npos);
    }

    // Protected again: sealed.
    office.click(PROTECT);
    office.click(PROGRAM);
    ASSERT_TRUE(made({{.path = folder / u8"成绩查询"}}));
    EXPECT_NE(office.text(u"状态").find(u"已加密"), std::u16string::npos);
    EXPECT_NE(office.text(u"状态").find(u"1 遍，8 KiB"), std::u16string::npos);
    screenshot(office, "office-done");
    EXPECT_NE(bytes(folder / u8"成绩查询"), bytes(folder / u8"程序"));

    // Too many to seal into one program: said at once, and the site offered.
    write(folder / u8"大.txt", records(12000));
    office.drop(folder / u8"大.txt");
    ASSERT_TRUE(office.waitUntil([&] { return office.enabled(u"重新读取"); }));
    EXPECT_FALSE(office.enabled(u"制作"));
    EXPECT_NE(office.text(u"状态").find(u"可以改为制作网站"), std::u16string::npos) << toUtf8(office.text(u"状态"));
    EXPECT_NE(office.text(u"报告").find(u"the roster does not fit"), std::u16string::npos);
    if (fs::exists(VARNHOLT_PAGE)) {
        office.click(u"网站");
        EXPECT_TRUE(office.enabled(u"制作"));
    }
}

TEST(OfficeWindow, cancelAndCloseWhileSealingLeaveNothingBehind)
{
    const fs::path folder = freshFolder("cancel");
    write(folder / u8"名册.txt", records(300));
    const std::vector<fs::path> before = filesIn(folder);
    auto office = std::make_unique<OfficeDriver>(setup(SealCost{2, 32 * 1024}), folder / u8"名册.txt");
    ASSERT_TRUE(office->waitUntil([&] { return office->enabled(u"制作"); }));
    office->click(PROGRAM);
    const auto sealing = [&] {
        office->answer({{.path = folder / u8"程序"}});
        office->click(u"制作");
        return office->waitUntil([&] { return office->progress(u"进度").first > 0; });
    };

    ASSERT_TRUE(sealing());
    if (std::getenv("OFFICE_SCREENSHOTS")) {  // well on the way, the time left shown
        office->waitUntil([&] { return office->text(u"状态").find(u"约剩") != std::u16string::npos; });
        screenshot(*office, "office-sealing");
    }
    EXPECT_FALSE(office->enabled(u"制作"));
    EXPECT_EQ(office->progress(u"进度").second, 300);
    office->click(u"取消");
    const auto asked = std::chrono::steady_clock::now();
    ASSERT_TRUE(office->waitUntil([&] { return office->enabled(u"制作"); }));
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 1500ms);
    EXPECT_NE(office->text(u"状态").find(u"已取消"), std::u16string::npos);
    EXPECT_EQ(filesIn(folder), before);

    // Closing while sealing asks; 否 goes on sealing, 是 cancels and closes.
    ASSERT_TRUE(sealing());
    office->answer({{.yes = false}});
    EXPECT_FALSE(office->close());
    EXPECT_FALSE(office->enabled(u"制作"));
    office->answer({{.yes = true}});
    EXPECT_TRUE(office->close());
    office.reset();
    EXPECT_EQ(filesIn(folder), before);
}

int main(int argc, char* argv[])
{
    testing::InitGoogleTest(&argc, argv);
#ifndef _WIN32
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
#endif
    otk::Application application(argc, argv);
    if (sodium_init() < 0)
        return 1;
    return RUN_ALL_TESTS();
}
