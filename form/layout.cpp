// What a form's layout table tells beside places and sizes: which label
// names a text box. Every backend, and the page's markup (web/form_html.cpp),
// reads it here.
#include "form/toolkit.h"

namespace tk {

const ControlLayout* labelOf(const FormLayout& form, const ControlLayout& box)
{
    for (const ControlLayout& label : form.controls)
        if (label.kind == Kind::Label && label.top == box.top && label.left < box.left)
            return &label;
    return nullptr;
}

std::u16string accessibleName(const FormLayout& form, const ControlLayout& control)
{
    if (control.kind != Kind::TextBox)
        return std::u16string(control.caption);
    std::u16string name;
    if (const ControlLayout* label = labelOf(form, control))
        for (char16_t c : label->caption)
            if (c != u' ' && c != u'：')
                name += c;
    return name;
}

}  // namespace tk
