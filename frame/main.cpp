// Process start: the toolkit takes the project record, creates the one Form1,
// runs Form_Load before the window is first shown, then the event loop until
// 退  出 (End) or the window's close control ends the program.
#include <optional>

#include "form/form1.h"
#include "frame/project.h"

namespace {

int startProgram()
{
    tk::Application application(PROJECT);
    // The form reads the roster area when it is made: a damaged one is a run-time error too.
    std::optional<Form1> form;
    tk::runHandler([&] {
        form.emplace();
        form->Form_Load();
    });
    form->show();
    return tk::Application::exec();
}

}  // namespace

#ifdef _WIN32
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    return startProgram();
}
#else
int main()
{
    return startProgram();
}
#endif
