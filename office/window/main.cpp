// varnholt-office: the examination office's window for making the program,
// the web page or the site from its roster. A roster's path on the command
// line (as the system passes a file dropped onto the program's icon) is read
// at once.
#include <sodium.h>

#include "office/window/pack_form.h"

int main(int argc, char* argv[])
{
    otk::Application application(argc, argv);
    if (sodium_init() < 0)
        return 1;
    PackForm form(PackForm::shipped());
    form.window().show();
    if (argc > 1)
        form.open(std::filesystem::path(reinterpret_cast<const char8_t*>(argv[1])));  // UTF-8 on every system
    return otk::Application::exec();
}
