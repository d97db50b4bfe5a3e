// Drives Form1 as a user would: typing into boxes, clicking buttons and
// pressing keys through the toolkit's own input path, reading what the
// window shows, and catching each message box, recording it and closing it
// with its button. One implementation per toolkit backend.
#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "form/form1.h"
#include "tests/carried_roster.h"

struct Message {
    std::u16string title;
    std::u16string prompt;
    bool operator==(const Message&) const = default;
};
using Messages = std::vector<Message>;

void PrintTo(const Message& message, std::ostream* out);

enum class Key { Tab, Enter, Escape };

struct Rect {
    int left, top, width, height;  // twips
    bool operator==(const Rect&) const = default;
};

struct FontInfo {
    std::u16string face;      // as the control asks for it
    std::u16string drawnWith;  // the face the toolkit found for it
    float points;
    bool bold;
    bool italic, underline, strikeOut;
    int charset;  // the Windows character set it was made with (GB2312 is 134); -1 where the toolkit has none
};

struct MenuItem {
    std::u16string text;  // as shown, without access-key marks ("撤消(U)")
    bool enabled;
    bool operator==(const MenuItem&) const = default;
};

class Driver {
public:
    // Starts Form1 as the program does: Form_Load, then the window is shown.
    Driver();
    ~Driver();

    Form1& form() { return *form_; }

    // Clicks into the box, then types the text key by key.
    void type(std::string_view box, std::u16string_view text);
    // Clicks into the box, selects all and pastes the text from the clipboard.
    void paste(std::string_view box, std::u16string_view text);
    // A left click at the middle of the control, where a user would click.
    // Returns the message boxes shown meanwhile, in order. While a box is
    // open, the user clicks into Text2 and types `whileBoxOpen` before
    // closing it.
    Messages click(std::string_view control, std::u16string_view whileBoxOpen = {});
    Messages press(Key key);

    std::u16string text(std::string_view box) const;
    bool visible(std::string_view control) const;  // shown on screen
    bool enabled(std::string_view control) const;
    // Twips in one pixel of the screen the window is drawn on (15 at 96 dpi).
    double twipsPerPixel() const;
    // Layout as drawn; "Form1" names the window: its client area and title.
    Rect geometry(std::string_view control) const;
    std::u16string caption(std::string_view control) const;
    FontInfo font(std::string_view control) const;
    std::uint32_t textColor(std::string_view control) const;  // 0xRRGGBB
    bool hasIcon() const;  // the window shows the program's icon
    bool textFits(std::string_view control) const;  // its caption or text is drawn unclipped
    std::u16string accessibleName(std::string_view control) const;  // what a screen reader announces
    std::string focus() const;  // name of the control with the keyboard focus, "" if none
    bool leftAligned(std::string_view label) const;  // its caption starts at its left edge
    bool masksText(std::string_view box) const;      // shows placeholders for its text, like a password box
    bool hasCloseControl() const;                    // the window's frame offers a close control
    // The context menu the toolkit opens on the box (separators left out),
    // read while it is open and then closed; empty when none opens.
    std::vector<MenuItem> contextMenu(std::string_view box);

    // Closes the window with its close control and runs the event loop as the
    // program does; returns the exit status the loop ends with.
    int closeWindow();

    // Whether the last message box had one button and no icon, as MsgBox 0 asks.
    bool lastMessageWasPlain() const { return lastPlain_; }
    // The caption of the last message box's one button, as drawn ("确定").
    const std::u16string& lastButton() const { return lastButton_; }
    // What a screen reader was told of the last message box: it is announced
    // as an alert, and this is its text ("" if it was not announced).
    const std::u16string& lastAlert() const { return lastAlert_; }

private:
    std::unique_ptr<Form1> form_;
    bool lastPlain_ = false;
    std::u16string lastButton_;
    std::u16string lastAlert_;
};
