// The toolkit in a web page, compiled with Emscripten: the controls are the
// page's own elements (labels, text inputs, buttons), made and driven by the
// page side in form/web/toolkit.js; this file is the C++ half. A warning is a
// modal <dialog>: the handler waits for it to close through Asyncify, so the
// form's code stays as synchronous as on the desktop. A page cannot close
// its tab: End and a run-time error leave one line saying the program has
// ended, with a link that starts it again.
#include <emscripten.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "form/native.h"
#include "form/web/font_family.h"
#include "roster/wipe.h"

// ---- The page side (form/web/toolkit.js) ---------------------------------------
// Texts cross as UTF-16 code units, address and count, so that every code
// unit arrives as it is: NUL and unpaired surrogates included.

EM_JS(void, tk_create_form, (const char16_t* title, int titleSize, double width, double height, const char16_t* face,
                             int faceSize, double points, int bold),
      { Toolkit.createForm(Toolkit.text(title, titleSize), width, height, Toolkit.text(face, faceSize), points, bold); });
EM_JS(void, tk_add_control,
      (const char* name, int kind, const char16_t* caption, int captionSize, double left, double top, double width,
       double height, int tabIndex, const char16_t* face, int faceSize, double points, int bold, int color,
       const char* labelledBy, const char16_t* accessibleName, int accessibleNameSize),
      {
          Toolkit.addControl(UTF8ToString(name), kind, Toolkit.text(caption, captionSize), left, top, width, height,
                             tabIndex, Toolkit.text(face, faceSize), points, bold, color, UTF8ToString(labelledBy),
                             Toolkit.text(accessibleName, accessibleNameSize));
      });
EM_JS(void, tk_set_visible, (int control, int visible), { Toolkit.setVisible(control, visible); });
EM_JS(int, tk_visible, (int control), { return !Toolkit.controls[control].hidden; });
EM_JS(void, tk_set_enabled, (int control, int enabled), { Toolkit.setEnabled(control, enabled); });
EM_JS(int, tk_enabled, (int control), { return Toolkit.enabled(Toolkit.controls[control]); });
EM_JS(int, tk_take_text, (int control), { return Toolkit.takeText(control); });
EM_JS(int, tk_text_size, (int control), { return Toolkit.copied[control].length; });
EM_JS(void, tk_read_text, (int control, char16_t* out), { Toolkit.readText(control, out); });
EM_JS(void, tk_set_text, (int control, const char16_t* text, int size),
      {
          Toolkit.controls[control].value = Toolkit.text(text, size);
          Toolkit.copied[control] = null;  // the program's copy is wiped: read the box again
      });
EM_JS(double, tk_form_width, (), { return Toolkit.form.offsetWidth; });
EM_JS(double, tk_form_height, (), { return Toolkit.form.offsetHeight; });
EM_JS(double, tk_viewport_width, (), { return document.documentElement.clientWidth; });
EM_JS(double, tk_viewport_height, (), { return document.documentElement.clientHeight; });
EM_JS(void, tk_show, (), { Toolkit.show(); });
EM_ASYNC_JS(void, tk_message, (const char16_t* prompt, int promptSize, const char16_t* title, int titleSize,
                               int critical),
            { await Toolkit.message(Toolkit.text(prompt, promptSize), Toolkit.text(title, titleSize), critical); });
EM_ASYNC_JS(void, tk_busy, (), { await Toolkit.setBusy(true); });
EM_JS(void, tk_not_busy, (), { Toolkit.setBusy(false); });  // also while an error unwinds: no waiting

namespace tk {

namespace {

struct WebControl : NativeControl {
    WebControl(const ControlLayout& layout, int index) : NativeControl(layout.name, layout.kind), index(index) {}
    int index;  // the element's place in Toolkit.controls
};

int indexOf(const NativeControl& control)
{
    return static_cast<const WebControl&>(control).index;
}

const ProjectRecord* project = nullptr;
NativeForm* startupForm = nullptr;  // the form whose buttons the page's clicks reach

// The page's pixels are CSS pixels, 96 to an inch: 15 twips each.
constexpr double TWIPS_PER_PIXEL = 15;

double pixels(int twips)
{
    return twips / TWIPS_PER_PIXEL;
}

int size(std::u16string_view text)
{
    return static_cast<int>(text.size());
}

}  // namespace

// ---- Controls --------------------------------------------------------------

void Control::setVisible(bool visible)
{
    tk_set_visible(indexOf(*native_), visible);
}

bool Control::visible() const
{
    return tk_visible(indexOf(*native_));
}

// The page keeps the text it last copied to the program, and says whether
// the box holds another now.
bool textChanged(NativeControl& box)
{
    return tk_take_text(indexOf(box));
}

void readText(NativeControl& box, std::u16string& copy)
{
    copy.resize(static_cast<std::size_t>(tk_text_size(indexOf(box))));
    tk_read_text(indexOf(box), copy.data());
}

void putText(NativeControl& box, std::u16string_view text)
{
    tk_set_text(indexOf(box), text.data(), size(text));
}

void TextBox::setEnabled(bool enabled)
{
    tk_set_enabled(indexOf(*native_), enabled);
}

bool TextBox::enabled() const
{
    return tk_enabled(indexOf(*native_));
}

// ---- The form --------------------------------------------------------------

Form::Form(const FormLayout& layout) : native_(std::make_unique<NativeForm>())
{
    const std::u16string formFamily = fontFamily(layout.font.face);
    tk_create_form(layout.caption.data(), size(layout.caption), pixels(layout.clientWidth),
                   pixels(layout.clientHeight), formFamily.data(), size(formFamily), layout.font.points,
                   layout.font.bold);
    int index = 0;
    for (const ControlLayout& control : layout.controls) {
        const Font font = control.font.value_or(layout.font);
        const std::u16string family = fontFamily(font.face);
        const ControlLayout* label = control.kind == Kind::TextBox ? labelOf(layout, control) : nullptr;
        const std::string labelledBy = label ? std::string(label->name) : std::string();
        const std::u16string name = accessibleName(layout, control);
        tk_add_control(std::string(control.name).c_str(), static_cast<int>(control.kind), control.caption.data(),
                       size(control.caption), pixels(control.left), pixels(control.top), pixels(control.width),
                       pixels(control.height), control.tabIndex, family.data(), size(family), font.points, font.bold,
                       control.foreColor == DEFAULT_COLOR ? -1 : static_cast<int>(control.foreColor),
                       labelledBy.c_str(), name.data(), size(name));
        native_->controls.push_back(std::make_unique<WebControl>(control, index++));
    }
    if (!startupForm)
        startupForm = native_.get();
}

Form::~Form()
{
    if (startupForm == native_.get())
        startupForm = nullptr;
}

// A page has no window frame: the outer size is the form's own.
float Form::width() const
{
    return static_cast<float>(tk_form_width() * TWIPS_PER_PIXEL);
}

float Form::height() const
{
    return static_cast<float>(tk_form_height() * TWIPS_PER_PIXEL);
}

// The page centres the form in the viewport itself, and again whenever the
// viewport changes (a phone turned, a browser window resized): the position
// Form_Load computes is that centre, kept but not applied.
void Form::setLeft(float twips)
{
    left_ = twips;
}

void Form::setTop(float twips)
{
    top_ = twips;
}

void Form::show()
{
    tk_show();  // the focus goes to the first control in tab order that can take it
}

// ---- Screen, message box, End ----------------------------------------------

// The page's screen is the viewport it is shown in.
float Screen::width()
{
    return static_cast<float>(tk_viewport_width() * TWIPS_PER_PIXEL);
}

float Screen::height()
{
    return static_cast<float>(tk_viewport_height() * TWIPS_PER_PIXEL);
}

void showMessage(std::u16string_view prompt, std::u16string_view title)
{
    tk_message(prompt.data(), size(prompt), title.data(), size(title), false);
}

BusyCursor::BusyCursor()
{
    tk_busy();  // returns once the page shows it
}

BusyCursor::~BusyCursor()
{
    tk_not_busy();
}

// The page, and the program's memory, outlive the program: the copies of
// the texts typed (an identity number) are wiped before it ends.
static void wipeTexts()
{
    if (startupForm)
        for (const auto& control : startupForm->controls)
            wipe(control->text);
}

// The page's Module.onExit removes the form and says the program has ended.
void End()
{
    wipeTexts();
    emscripten_force_exit(0);
    std::abort();  // not reached: the exit unwinds the page's call
}

void reportRuntimeError(const RuntimeError& error) noexcept
{
    try {
        const std::u16string_view title = project ? project->name : std::u16string_view();
        const std::u16string text = error.report();
        tk_message(text.data(), size(text), title.data(), size(title), true);
    } catch (...) {
        // The report itself failed (out of memory): end all the same.
    }
    wipeTexts();
    emscripten_force_exit(1);
    std::abort();
}

// ---- The application -------------------------------------------------------

Application::Application(const ProjectRecord& record)
{
    project = &record;
}

Application::~Application()
{
    project = nullptr;
}

// The page's event loop is the browser's: main ends here and leaves the
// program running, its form alive, to handle the page's events.
int Application::exec()
{
    emscripten_exit_with_live_runtime();
    return 0;
}

// The page delivers events only between handlers; none wait here.
void processEvents() {}

}  // namespace tk

// A click on one of the form's buttons, from the page.
extern "C" EMSCRIPTEN_KEEPALIVE void tk_clicked(int index)
{
    if (!tk::startupForm || index < 0 || static_cast<std::size_t>(index) >= tk::startupForm->controls.size())
        return;
    tk::NativeControl& control = *tk::startupForm->controls[static_cast<std::size_t>(index)];
    if (control.click)
        tk::runHandler(control.click);
}
