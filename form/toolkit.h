// The forms toolkit as the form's logic sees it: a window with labels, text
// boxes and command buttons, the screen, the modal message box, Trim, End and
// the report of run-time errors. Texts are UTF-16 throughout.
//
// Nothing here names a toolkit. What is the same on every backend is in
// toolkit.cpp; each backend (form/qt, form/win32, form/web) defines the rest,
// through form/native.h. A program links one.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tk {

// ---- Run-time errors -------------------------------------------------------

// An error that ends the program through the toolkit's report: a message box
// that names it, then exit with a non-zero status. The numbers are the
// classic ones (6 overflow, 7 out of memory, 9 subscript out of range ...).
class RuntimeError : public std::exception {
public:
    RuntimeError(int number, std::u16string description);
    int number() const { return number_; }
    const std::u16string& description() const { return description_; }
    std::u16string report() const;  // the text the error report shows
    const char* what() const noexcept override { return what_.c_str(); }

private:
    int number_;
    std::u16string description_;
    std::string what_;
};

RuntimeError overflowError();           // 6: a counter left its range
RuntimeError outOfMemoryError();        // 7: an allocation failed
RuntimeError subscriptError();          // 9: an index outside an array's bounds
RuntimeError controlError(std::u16string_view what);  // 5: a control operation failed

// Runs an event handler. An error escaping it is reported and ends the
// program; the backends call every handler of the form through this.
void runHandler(const std::function<void()>& handler) noexcept;

// The report itself: shows the error and exits with status 1. Never returns.
[[noreturn]] void reportRuntimeError(const RuntimeError& error) noexcept;

// ---- Strings ---------------------------------------------------------------

// The text without its leading and trailing U+0020; nothing else is a space
// here. Inline: the office's packer counts scores by it (query/shown.h).
inline std::u16string Trim(std::u16string_view text)
{
    const auto first = text.find_first_not_of(u' ');
    if (first == std::u16string_view::npos)
        return {};
    const auto last = text.find_last_not_of(u' ');
    return std::u16string(text.substr(first, last - first + 1));
}

// ---- The form's description ------------------------------------------------

struct Font {
    std::u16string_view face;
    float points;
    bool bold;
};

enum class Kind { Label, TextBox, CommandButton };

inline constexpr std::uint32_t DEFAULT_COLOR = 0xFFFFFFFF;

// One control as the form lays it out; positions and sizes in twips, measured
// from the top-left corner of the form's client area.
struct ControlLayout {
    std::string_view name;
    Kind kind;
    std::u16string_view caption;
    int left, top, width, height;
    int tabIndex;
    std::optional<Font> font;  // none: the form's font
    std::uint32_t foreColor = DEFAULT_COLOR;  // 0xRRGGBB
};

struct FormLayout {
    std::string_view name;
    std::u16string_view caption;
    int clientWidth, clientHeight;  // twips
    Font font;
    std::span<const ControlLayout> controls;
};

// The name a screen reader announces for a control: a button's caption; for
// a text box the caption of the label on its row, left of it, without its
// colon and spaces ("准考证号：" names the box "准考证号").
std::u16string accessibleName(const FormLayout& form, const ControlLayout& control);
const ControlLayout* labelOf(const FormLayout& form, const ControlLayout& box);  // nullptr if none

// ---- Controls --------------------------------------------------------------

struct NativeControl;  // the backend's control (form/native.h)
struct NativeForm;     // the backend's window and everything it owns

class Control {
public:
    explicit Control(NativeControl* native) : native_(native) {}
    void setVisible(bool visible);
    bool visible() const;
    NativeControl* native() const { return native_; }

protected:
    NativeControl* native_;
};

class Label : public Control {
    using Control::Control;
};

class TextBox : public Control {
public:
    using Control::Control;
    // The contents exactly as typed. Cheap to read however long the text is:
    // the reference stays valid until the contents change.
    const std::u16string& text() const;
    void setText(std::u16string_view text);
    void setEnabled(bool enabled);
    bool enabled() const;
};

class CommandButton : public Control {
public:
    using Control::Control;
    // The handler runs through runHandler() each time the user clicks the button.
    void onClick(std::function<void()> handler);
};

// ---- The form --------------------------------------------------------------

// A window built from its layout: title, fixed client area, font, controls.
// It stays hidden until show().
class Form {
public:
    explicit Form(const FormLayout& layout);
    ~Form();
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    // Outer size and position of the window in twips, frame included as far
    // as the toolkit knows it when read.
    float width() const;
    float height() const;
    void setLeft(float twips);
    void setTop(float twips);
    float left() const { return left_; }  // as last set
    float top() const { return top_; }

    void show();  // shows the window; the focus goes to the first control in tab order

    Label label(std::string_view name) const;
    TextBox textBox(std::string_view name) const;
    CommandButton commandButton(std::string_view name) const;

    NativeForm* native() const { return native_.get(); }

private:
    std::unique_ptr<NativeForm> native_;
    float left_ = 0, top_ = 0;
};

namespace Screen {
float width();   // primary screen, twips
float height();
}  // namespace Screen

// A modal box with the prompt and title; buttons 0 is a single OK button and
// no icon. Returns when the user closes it.
void MsgBox(std::u16string_view prompt, int buttons, std::u16string_view title);

// Shows the busy cursor over the application while it lives: for work the
// user waits on inside a handler.
class BusyCursor {
public:
    BusyCursor();
    ~BusyCursor();
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

// Ends the program at once with exit status 0; no further event is delivered.
[[noreturn]] void End();

// ---- The application -------------------------------------------------------

// The project record the toolkit reads at start.
struct ProjectRecord {
    std::u16string_view name;         // "Peldrun"
    std::u16string_view description;  // "Varnholt"
    int major, minor;                 // the project's version; the minor shows in two digits
    int locale;                       // 2052: Chinese (PRC)
};

// The toolkit itself: one per process, created before the form.
class Application {
public:
    explicit Application(const ProjectRecord& project);
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // The event loop; returns the exit status once the last window has closed.
    static int exec();
};

// Delivers the events that are waiting, as the event loop would, and returns.
void processEvents();

}  // namespace tk
