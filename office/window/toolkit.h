// The office window's toolkit as the window's logic (office/window/pack_form.*)
// sees it: one window laid out from a table, its controls found by name, a
// handler per control event, the system's file dialogs and questions, and a
// way for work on another thread to hand results back to the interface thread.
//
// Nothing here names a toolkit. What is the same on every backend is in
// toolkit.cpp; each backend (office/window/qt, office/window/win32) defines
// the rest. The office's window links one; the candidate's program links none.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace otk {

// ---- The window's description ----------------------------------------------

enum class Kind {
    Label,     // one line of text, or several where it is tall enough
    Button,    // a push button; its caption is its accessible name
    Report,    // a read-only multi-line text with a scroll bar, selectable and copyable
    Radio,     // radio buttons of one window make one group
    Check,     // a check box
    Choice,    // a drop-down list of texts, one chosen
    Progress,  // a progress bar
};

// One control; position and size in pixels at 96 dpi from the top-left corner
// of the client area (a backend scales them by the screen's dpi). The caption
// is what it shows and what a screen reader announces; a Report, Choice or
// Progress shows no caption, and it is their accessible name ("报告", "进度").
struct ControlLayout {
    std::string_view name;
    Kind kind;
    std::u16string_view caption;
    int left, top, width, height;
};

struct WindowLayout {
    std::u16string_view title;
    int width, height;  // client area, 96-dpi pixels
    std::span<const ControlLayout> controls;  // in tab order
};

// A file dialog's filter: "名册 (*.xlsx *.ods …)" with its patterns "*.xlsx;*.ods".
struct FileFilter {
    std::u16string_view label;
    std::u16string_view patterns;  // separated by ';'
};

// ---- The window ------------------------------------------------------------

struct NativeWindow;  // the backend's window and its controls

class Window {
public:
    explicit Window(const WindowLayout& layout);  // built hidden
    ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    void show();
    void close();  // closes without asking (onClose is not called)

    // Controls by name; a name not in the layout, or an operation the control's
    // kind has not, throws std::logic_error.
    void setText(std::string_view control, std::u16string_view text);  // caption; a Report's whole text
    std::u16string text(std::string_view control) const;
    void setEnabled(std::string_view control, bool enabled);
    bool enabled(std::string_view control) const;
    void setVisible(std::string_view control, bool visible);
    bool visible(std::string_view control) const;
    void setChecked(std::string_view control, bool checked);  // Radio, Check
    bool checked(std::string_view control) const;
    void setChoices(std::string_view control, const std::vector<std::u16string>& choices, int chosen);  // Choice
    int chosen(std::string_view control) const;  // -1 when none
    void setProgress(std::string_view control, long long done, long long total);  // Progress

    // Handlers, each run on the interface thread: a click on a Button, Radio or
    // Check (after it changed), a new choice in a Choice.
    void onEvent(std::string_view control, std::function<void()> handler);
    // A file dropped onto the window (the first one, when several are).
    void onDrop(std::function<void(const std::filesystem::path&)> handler);
    // The user asks to close the window; the handler says whether it may close.
    void onClose(std::function<bool()> handler);

    // Modal to the window; nullopt when the user cancels.
    std::optional<std::filesystem::path> openFile(std::u16string_view title, std::span<const FileFilter> filters);
    std::optional<std::filesystem::path> saveFile(std::u16string_view title, const std::filesystem::path& suggested,
                                                  std::span<const FileFilter> filters);
    std::optional<std::filesystem::path> chooseFolder(std::u16string_view title, const std::filesystem::path& start);
    // A question with 是 and 否, 否 the default; true for 是.
    bool ask(std::u16string_view prompt, std::u16string_view title);
    // A message with one 确定 button; warning marks it with the warning icon.
    void tell(std::u16string_view prompt, std::u16string_view title, bool warning = false);

    // Runs the function on the interface thread as soon as the event loop is
    // free. Safe from any thread, and after the window has closed (then the
    // function is dropped unrun).
    void post(std::function<void()> work);

    NativeWindow* native() const { return native_.get(); }

private:
    std::unique_ptr<NativeWindow> native_;
};

// Opens a file or folder as the system does on a double click: a folder in
// the file manager, a page in the default browser, a program by running it.
// False when the system could not.
bool openWithSystem(const std::filesystem::path& path);

// ---- Answers a test gives in place of the user ---------------------------------

// A dialog or question the window was about to show.
struct Asked {
    enum class Kind { OpenFile, SaveFile, Folder, Question, Message };
    Kind kind;
    std::u16string title, prompt;     // a file dialog's title is its prompt too
    std::filesystem::path suggested;  // SaveFile, Folder: the name or folder offered
};

// The answer: a path (nullopt: cancelled) for a file dialog, yes or no for
// a question; a message needs none.
struct Answer {
    std::optional<std::filesystem::path> path;
    bool yes = false;
};

// While an answerer is set (tests only: the office drivers), openFile,
// saveFile, chooseFolder, ask and tell open nothing and return what it
// answers, on the interface thread. Each backend asks testAnswer() first
// and opens its dialog only when it returns nullopt. An empty function
// gives the dialogs back to the user.
void answerDialogs(std::function<Answer(const Asked&)> answerer);
std::optional<Answer> testAnswer(const Asked& asked);

// The toolkit itself, one per process, before the window; exec() runs the
// event loop until the window has closed and returns the exit status.
class Application {
public:
    Application(int& argc, char** argv);
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;
    static int exec();
};

}  // namespace otk
