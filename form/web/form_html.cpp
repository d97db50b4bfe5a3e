// form_html style|markup: prints Form1 as the page draws it before its
// program has started, from the form's own layout table (form1_layout.cpp):
// `style`, the CSS that places and sizes the window and each control in CSS
// pixels (15 twips each) with its font; `markup`, the window's element and
// its fourteen controls in the start state Form_Load leaves them in. The
// program adopts these elements when it starts (form/web/toolkit.js). A
// native build tool: the web build runs the Linux build's copy (page.py).
#include <cstdio>
#include <set>
#include <string>
#include <string_view>

#include "form/form1.h"
#include "form/web/font_family.h"
#include "roster/utf.h"

namespace {

// What Form_Load hides and disables before the window is first shown; the
// page's tests check that the program finds the markup in that state.
const std::set<std::string_view> HIDDEN_AT_START = {"Command2", "Command3", "Label6", "Label7", "Text3", "Text4"};
const std::set<std::string_view> DISABLED_AT_START = {"Text3", "Text4"};

std::string escaped(std::u16string_view text)
{
    std::string out;
    for (char c : toUtf8(text)) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

// CSS pixels, 96 to an inch: 15 twips each.
std::string pixels(int twips)
{
    char text[32];
    std::snprintf(text, sizeof text, "%gpx", twips / 15.0);
    return text;
}

std::string font(const tk::Font& font)
{
    char size[32];
    std::snprintf(size, sizeof size, "%gpt", font.points);
    return "font-family: " + toUtf8(tk::fontFamily(font.face)) + "; font-size: " + size +
           "; font-weight: " + (font.bold ? "700" : "400") + ";";
}

void style(const tk::FormLayout& form)
{
    std::printf("#%s { width: %s; height: %s; %s }\n", std::string(form.name).c_str(), pixels(form.clientWidth).c_str(),
                pixels(form.clientHeight).c_str(), font(form.font).c_str());
    for (const tk::ControlLayout& control : form.controls) {
        std::string rule = "#" + std::string(control.name) + " { left: " + pixels(control.left) +
                           "; top: " + pixels(control.top) + "; width: " + pixels(control.width) +
                           "; height: " + pixels(control.height) + "; " + font(control.font.value_or(form.font));
        if (control.foreColor != tk::DEFAULT_COLOR) {
            char color[32];
            std::snprintf(color, sizeof color, " color: #%06X;", static_cast<unsigned>(control.foreColor));
            rule += color;
        }
        std::printf("%s }\n", rule.c_str());
    }
}

void markup(const tk::FormLayout& form)
{
    // data-width: the client width, below which the page lays the form out
    // in one column.
    std::printf("<main id=\"%s\" data-width=\"%g\">\n", std::string(form.name).c_str(), form.clientWidth / 15.0);
    bool first = true;
    for (const tk::ControlLayout& control : form.controls) {
        const std::string name(control.name);
        const char* hidden = HIDDEN_AT_START.count(control.name) ? " hidden" : "";
        switch (control.kind) {
        case tk::Kind::Label:
            std::printf("<div class=\"label\" id=\"%s\"%s>%s</div>\n", name.c_str(), hidden,
                        escaped(control.caption).c_str());
            break;
        case tk::Kind::TextBox: {
            // The comparison is exact: nothing may change what is typed. The
            // first box takes the focus, as the window's first control in tab order.
            // Named as the program names it: by the label on its row, or by
            // that label's caption where there is none to point at.
            const bool disabled = DISABLED_AT_START.count(control.name);
            const tk::ControlLayout* label = tk::labelOf(form, control);
            const std::string named = label ? " aria-labelledby=\"" + std::string(label->name) + "\""
                                            : " aria-label=\"" + escaped(tk::accessibleName(form, control)) + "\"";
            std::printf("<input type=\"text\" id=\"%s\" value=\"%s\" autocomplete=\"off\" autocorrect=\"off\""
                        " autocapitalize=\"none\" spellcheck=\"false\"%s%s%s%s>\n",
                        name.c_str(), escaped(control.caption).c_str(), named.c_str(),
                        disabled ? " readonly tabindex=\"-1\"" : "", first && !disabled && !*hidden ? " autofocus" : "",
                        hidden);
            if (!disabled && !*hidden)
                first = false;
            break;
        }
        case tk::Kind::CommandButton:
            std::printf("<button type=\"button\" id=\"%s\"%s>%s</button>\n", name.c_str(), hidden,
                        escaped(control.caption).c_str());
            break;
        }
    }
    std::printf("</main>\n");
}

}  // namespace

int main(int argc, char* argv[])
{
    const std::string_view what = argc == 2 ? argv[1] : "";
    if (what == "style")
        style(FORM1_LAYOUT);
    else if (what == "markup")
        markup(FORM1_LAYOUT);
    else {
        std::fputs("usage: form_html style|markup\n", stderr);
        return 2;
    }
    return 0;
}
