// Packs a roster in the office's window as a clerk does (read, 制作, the
// save dialog answered), on Qt's offscreen platform, and prints the
// seconds of the making alone: from the click to the window's
// saying it is done. tools/bench.sh sets it beside varnholt-pack's time.
// office_pack_bench PROGRAM ROSTER OUTPUT PASSES MIB
#include <sodium.h>

#include <QCoreApplication>
#include <QThread>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "office/window/pack_form.h"

namespace {

// Runs the event loop until the control is enabled.
void waitEnabled(PackForm& form, const char* control)
{
    while (!form.window().enabled(control)) {
        QCoreApplication::processEvents();
        QThread::msleep(1);
    }
}

}  // namespace

int main(int argc, char* argv[])
{
    if (argc != 6) {
        std::fprintf(stderr, "usage: office_pack_bench PROGRAM ROSTER OUTPUT PASSES MIB\n");
        return 2;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    otk::Application application(argc, argv);
    if (sodium_init() < 0)
        return 1;
    PackForm::Setup setup;
    setup.linuxProgram = argv[1];
    setup.cost = {static_cast<std::uint32_t>(std::atoi(argv[4])), static_cast<std::uint32_t>(std::atoi(argv[5])) * 1024};
    const std::filesystem::path output = argv[3];
    otk::answerDialogs([&](const otk::Asked& asked) {
        return otk::Answer{.path = output, .yes = asked.kind == otk::Asked::Kind::Question};
    });
    PackForm form(setup);
    form.window().show();
    form.open(argv[2]);
    waitEnabled(form, "Make");
    form.window().setChecked("KindLinux", true);
    form.Kind_Click(PackForm::Kind::Linux);
    const auto start = std::chrono::steady_clock::now();
    form.Make_Click();
    waitEnabled(form, "Try");
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%.3f\n", seconds);
    return 0;
}
