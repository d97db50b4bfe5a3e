// libFuzzer target: types arbitrary UTF-16 into Text1 and Text2 of a headless
// Form1, clicks 确  定 (and sometimes 继续查询 after), and checks that the
// window ends in exactly the outcome an independent model of the query
// predicts: one of the four warnings, or the matching row's result.
//
// Input: one flags byte, then UTF-16LE code units; the first U+FFFF splits
// Text1 from Text2. Flags: bit 0 clicks 继续查询 after; bits 1 to 3 all set
// repeat Text1 to 1,000,000 code units (rarely: such a run takes long).
#include <cstdio>
#include <cstdlib>
#include <string>

#include "frame/project.h"
#include "tests/driver.h"
#include "tests/shown_model.h"

namespace {

struct Outcome {
    Messages messages;
    std::u16string name, score;  // shown in the result state
};

// The query's rules, written from the rules and not from the code.
Outcome model(const std::u16string& ticket, const std::u16string& identity)
{
    const auto warning = [](std::u16string prompt) { return Outcome{{{u"警告", std::move(prompt)}}, {}, {}}; };
    if (ticket.empty())
        return warning(u"请输入准考证号");
    if (identity.empty())
        return warning(u"请输入身份证号");
    for (const RosterRecord& row : ROSTER_DATA) {
        if (row.zhun != ticket)
            continue;
        if (row.shen != identity)
            return warning(u"准考证号与身份证号不一致");
        return {{}, std::u16string(row.xing), modelShownScore(row.chengji, row.beizhu)};
    }
    return warning(u"无此考生");
}

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "query_fuzzer: %s\n", what);
    std::abort();
}

tk::Application* application = nullptr;
Driver* driver = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // Both live until the process ends: Qt's own globals are gone before any
    // static destructor of ours would run.
    application = new tk::Application(PROJECT);
    driver = new Driver;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::uint8_t flags = data[0];
    std::u16string texts[2];
    int box = 0;
    for (std::size_t i = 1; i + 1 < size; i += 2) {
        const char16_t unit = static_cast<char16_t>(data[i] | data[i + 1] << 8);
        if (unit == 0xFFFF && box == 0)
            box = 1;
        else
            texts[box] += unit;
    }
    if ((flags & 0x0E) == 0x0E && !texts[0].empty())
        while (texts[0].size() < 1'000'000)
            texts[0] += texts[0].substr(0, 1'000'000 - texts[0].size());

    Form1& form = driver->form();
    form.Text1.setText(texts[0]);
    form.Text2.setText(texts[1]);
    const Outcome expected = model(texts[0], texts[1]);
    const Messages shown = driver->click("Command1");

    if (shown != expected.messages)
        fail("the warnings shown differ from the model's");
    const bool result = expected.messages.empty();
    if (driver->visible("Command1") == result || driver->visible("Text3") != result ||
        driver->visible("Command2") != result || driver->visible("Command3") != result)
        fail("the window is not in the state the outcome calls for");
    if (driver->text("Text3") != expected.name || driver->text("Text4") != expected.score)
        fail("the name or score shown differ from the model's");
    if (form.Text1.text() != texts[0] || form.Text2.text() != texts[1])
        fail("the query changed the input boxes");

    // Back to the input state for the next input; the flag makes it a test too.
    if (result) {
        driver->click("Command2");
        if ((flags & 1) && (!driver->text("Text1").empty() || !driver->text("Text3").empty() ||
                            !driver->visible("Command1") || driver->visible("Text4")))
            fail("继续查询 did not bring back an empty input state");
    }
    return 0;
}
