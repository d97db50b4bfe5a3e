// The toolkit operations that are the same on every backend.
#include "form/toolkit.h"

#include <new>

#include "form/native.h"
#include "roster/wipe.h"

namespace tk {

RuntimeError::RuntimeError(int number, std::u16string description)
    : number_(number), description_(std::move(description)),
      what_("run-time error " + std::to_string(number)) {}

std::u16string RuntimeError::report() const
{
    const std::string n = std::to_string(number_);
    return u"实时错误 '" + std::u16string(n.begin(), n.end()) + u"':\n\n" + description_;
}

RuntimeError overflowError() { return {6, u"溢出"}; }
RuntimeError outOfMemoryError() { return {7, u"内存溢出"}; }
RuntimeError subscriptError() { return {9, u"下标越界"}; }

RuntimeError controlError(std::u16string_view what)
{
    return {5, u"无效的过程调用或参数：" + std::u16string(what)};
}

void runHandler(const std::function<void()>& handler) noexcept
{
    try {
        handler();
    } catch (const RuntimeError& error) {
        reportRuntimeError(error);
    } catch (const std::bad_alloc&) {
        reportRuntimeError(outOfMemoryError());
    } catch (const std::exception& error) {
        std::string_view what = error.what();
        reportRuntimeError(controlError(std::u16string(what.begin(), what.end())));
    } catch (...) {
        reportRuntimeError(controlError(u"未知错误"));
    }
}

NativeControl* findControl(const NativeForm& form, std::string_view name, Kind kind)
{
    for (const auto& control : form.controls)
        if (control->name == name && control->kind == kind)
            return control.get();
    throw controlError(u"没有这个控件");
}

Label Form::label(std::string_view name) const
{
    return Label(findControl(*native_, name, Kind::Label));
}

TextBox Form::textBox(std::string_view name) const
{
    return TextBox(findControl(*native_, name, Kind::TextBox));
}

CommandButton Form::commandButton(std::string_view name) const
{
    return CommandButton(findControl(*native_, name, Kind::CommandButton));
}

const std::u16string& TextBox::text() const
{
    if (textChanged(*native_)) {
        wipe(native_->text);  // the text read before (an identity number) leaves no copy
        readText(*native_, native_->text);
    }
    return native_->text;
}

// The box is set first: the text may be the copy itself (a box set to what
// it holds), which the wipe then overwrites.
void TextBox::setText(std::u16string_view text)
{
    putText(*native_, text);
    wipe(native_->text);
}

void CommandButton::onClick(std::function<void()> handler)
{
    native_->click = std::move(handler);
}

void MsgBox(std::u16string_view prompt, int buttons, std::u16string_view title)
{
    if (buttons != 0)
        throw controlError(u"MsgBox 只支持“确定”按钮");
    showMessage(prompt, title);
}

}  // namespace tk
