// The toolkit layer's side of a backend. toolkit.cpp keeps what is the same
// on every backend: the controls of a form by name and kind, a button's
// handler, the program's copy of a text box's text (wiped whenever it is
// read anew or the box is set), and the guard of MsgBox. A backend derives
// its control and form from these, adds what is native to it, and defines
// the operations declared at the end. Only the toolkit layer includes this.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "form/toolkit.h"

namespace tk {

struct NativeControl {
    NativeControl(std::string_view name, Kind kind) : name(name), kind(kind) {}
    virtual ~NativeControl() = default;
    NativeControl(const NativeControl&) = delete;
    NativeControl& operator=(const NativeControl&) = delete;

    std::string_view name;
    Kind kind;
    std::function<void()> click;  // a button's handler, run through runHandler()
    std::u16string text;          // a text box's text as the program last read it
};

struct NativeForm {
    NativeForm() = default;
    virtual ~NativeForm() = default;
    NativeForm(const NativeForm&) = delete;
    NativeForm& operator=(const NativeForm&) = delete;

    std::vector<std::unique_ptr<NativeControl>> controls;  // in the layout's order
};

// The form's control of that name and kind; a wrong one is run-time error 5.
NativeControl* findControl(const NativeForm& form, std::string_view name, Kind kind);

// ---- What each backend defines ---------------------------------------------

// Whether the box's text may differ from the program's copy: true once after
// each change, and then the caller reads it with readText.
bool textChanged(NativeControl& box);
// The box's text into `copy`, which is empty: the program's only copy of it.
void readText(NativeControl& box, std::u16string& copy);
// Puts the text into the box; its next read reads it anew.
void putText(NativeControl& box, std::u16string_view text);

// MsgBox 0: a modal box with the prompt, the title and one OK button, no
// icon. Returns when the user closes it.
void showMessage(std::u16string_view prompt, std::u16string_view title);

}  // namespace tk
