// The test driver on Qt: input goes through the window as the platform would
// deliver it, so hidden and disabled controls behave as they do for a user.
#include "tests/driver.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QTest>
#include <QTimer>

#include <iostream>

namespace {

QString toQString(std::u16string_view text)
{
    return QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
}

std::u16string toU16(const QString& text)
{
    return std::u16string(reinterpret_cast<const char16_t*>(text.constData()), static_cast<size_t>(text.size()));
}

QWidget* formWindow()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == u"Form1")
            return w;
    throw std::runtime_error("Form1 is not open");
}

QWidget* control(std::string_view name)
{
    if (name == "Form1")
        return formWindow();
    auto* widget = formWindow()->findChild<QWidget*>(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
    if (!widget)
        throw std::runtime_error("Form1 has no control " + std::string(name));
    return widget;
}

void clickAt(QWidget* widget, Qt::MouseButton button = Qt::LeftButton)
{
    QWidget* window = formWindow();
    QTest::mouseClick(window->windowHandle(), button, {}, widget->mapTo(window, widget->rect().center()));
}

// A caption as drawn: "&Undo\tCtrl+Z" reads "Undo".
QString withoutAccessKeys(QString text)
{
    return text.section(u'\t', 0, 0).remove(u'&');
}

// While alive, records every message box that opens, what a screen reader
// is told of it, and clicks its first button as soon as it is up. Each box
// also goes to stderr, where a test of a box shown by a dying process finds it.
class BoxCatcher : public QObject {
public:
    explicit BoxCatcher(std::u16string_view typed = {}) : typed_(typed) { qApp->installEventFilter(this); }
    ~BoxCatcher() override { qApp->removeEventFilter(this); }

    Messages messages;
    bool plain = false;
    std::u16string button;
    std::u16string alert;

protected:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        auto* box = qobject_cast<QMessageBox*>(object);
        if (box && event->type() == QEvent::Show) {
            messages.push_back({toU16(box->windowTitle()), toU16(box->text())});
            plain = box->buttons().size() == 1 && box->icon() == QMessageBox::NoIcon;
            button = toU16(withoutAccessKeys(box->buttons().constFirst()->text()));
            alert = announced(box);
            std::cerr << "[message box] " << box->windowTitle().toStdString() << ": " << box->text().toStdString()
                      << std::endl;
            QTimer::singleShot(0, box, [this, box] {
                // Input aimed at the form while the box is open: a click into
                // Text2, then keys at the form's window.
                if (!typed_.empty()) {
                    clickAt(control("Text2"));
                    for (char16_t c : typed_)
                        QTest::sendKeyEvent(QTest::Click, formWindow()->windowHandle(), Qt::Key_unknown,
                                            QString(QChar(c)), Qt::NoModifier);
                }
                QTest::mouseClick(box->buttons().constFirst(), Qt::LeftButton);
            });
        }
        return false;
    }

private:
    // What a screen reader gets of the box: an alert, read with its texts.
    static std::u16string announced(QMessageBox* box)
    {
        QAccessibleInterface* alert = QAccessible::queryAccessibleInterface(box);
        if (!alert || alert->role() != QAccessible::AlertMessage)
            return {};
        QString text;
        for (int i = 0; i < alert->childCount(); ++i)
            if (QAccessibleInterface* child = alert->child(i); child->role() == QAccessible::StaticText)
                text += child->text(QAccessible::Name);
        return toU16(text);
    }

    std::u16string typed_;
};

}  // namespace

void PrintTo(const Message& message, std::ostream* out)
{
    *out << "{" << QString(toQString(message.title)).toStdString() << ": "
         << QString(toQString(message.prompt)).toStdString() << "}";
}

// As the program starts: the form is made and loaded in one handler, so a
// damaged roster area is reported as a run-time error too.
Driver::Driver()
{
    {
        const BoxCatcher reported;
        tk::runHandler([this] {
            form_ = std::make_unique<Form1>();
            form_->Form_Load();
        });
    }
    form_->show();
    QWidget* window = formWindow();
    if (!QTest::qWaitForWindowActive(window))
        throw std::runtime_error("Form1 did not become active");
}

Driver::~Driver()
{
    form_.reset();
    QCoreApplication::processEvents();
}

void Driver::type(std::string_view box, std::u16string_view text)
{
    clickAt(control(box));
    QWindow* window = formWindow()->windowHandle();
    QTest::keyClick(window, Qt::Key_End);
    for (std::size_t i = 0; i < text.size(); ++i) {
        // A surrogate pair is one key press.
        const std::size_t n = QChar::isHighSurrogate(text[i]) && i + 1 < text.size() ? 2 : 1;
        QTest::sendKeyEvent(QTest::Click, window, Qt::Key_unknown, toQString(text.substr(i, n)), Qt::NoModifier);
        i += n - 1;
    }
}

void Driver::paste(std::string_view box, std::u16string_view text)
{
    clickAt(control(box));
    QApplication::clipboard()->setText(toQString(text));
    QWindow* window = formWindow()->windowHandle();
    QTest::keyClick(window, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(window, Qt::Key_V, Qt::ControlModifier);
}

Messages Driver::click(std::string_view name, std::u16string_view whileBoxOpen)
{
    BoxCatcher catcher(whileBoxOpen);
    clickAt(control(name));
    QCoreApplication::processEvents();
    lastPlain_ = catcher.plain;
    lastButton_ = catcher.button;
    lastAlert_ = catcher.alert;
    return catcher.messages;
}

Messages Driver::press(Key key)
{
    BoxCatcher catcher;
    const Qt::Key code = key == Key::Tab ? Qt::Key_Tab : key == Key::Enter ? Qt::Key_Return : Qt::Key_Escape;
    QTest::keyClick(formWindow()->windowHandle(), code);
    QCoreApplication::processEvents();
    lastPlain_ = catcher.plain;
    lastButton_ = catcher.button;
    lastAlert_ = catcher.alert;
    return catcher.messages;
}

std::u16string Driver::text(std::string_view box) const
{
    return toU16(static_cast<QLineEdit*>(control(box))->text());
}

bool Driver::visible(std::string_view name) const
{
    return control(name)->isVisible();
}

bool Driver::enabled(std::string_view name) const
{
    return control(name)->isEnabled();
}

double Driver::twipsPerPixel() const
{
    return 1440.0 / formWindow()->logicalDpiX();
}

Rect Driver::geometry(std::string_view name) const
{
    const QWidget* widget = control(name);
    const double twips = twipsPerPixel();
    const QRect r = widget->geometry();
    return {qRound(r.x() * twips), qRound(r.y() * twips), qRound(r.width() * twips), qRound(r.height() * twips)};
}

std::u16string Driver::caption(std::string_view name) const
{
    const QWidget* widget = control(name);
    if (name == "Form1")
        return toU16(widget->windowTitle());
    if (auto* label = qobject_cast<const QLabel*>(widget))
        return toU16(label->text());
    return toU16(static_cast<const QAbstractButton*>(widget)->text());
}

FontInfo Driver::font(std::string_view name) const
{
    const QWidget* widget = control(name);
    const QFont font = widget->font();
    while (!widget->property("face").isValid())  // the face asked for, here or inherited
        widget = widget->parentWidget();
    return {toU16(widget->property("face").toString()),
            toU16(QFontInfo(font).family()),
            static_cast<float>(font.pointSizeF()),
            font.weight() == QFont::Bold,
            font.italic(),
            font.underline(),
            font.strikeOut(),
            -1};
}

std::uint32_t Driver::textColor(std::string_view name) const
{
    return control(name)->palette().color(QPalette::WindowText).rgb() & 0xFFFFFF;
}

bool Driver::hasIcon() const
{
    const QImage icon = formWindow()->windowIcon().pixmap(32, 32).toImage();
    // Yellow ground in the corner, red letters somewhere.
    bool red = false;
    for (int y = 0; y < icon.height(); ++y)
        for (int x = 0; x < icon.width(); ++x)
            red = red || (icon.pixelColor(x, y).rgb() & 0xFFFFFF) == 0xFF0000;
    return !icon.isNull() && (icon.pixelColor(0, 0).rgb() & 0xFFFFFF) == 0xFFFF00 && red;
}

bool Driver::textFits(std::string_view name) const
{
    // The ink of the text, placed as the control places it, lies inside the
    // control (a pixel of antialiased edge aside).
    const QWidget* widget = control(name);
    const QFontMetrics metrics(widget->font());
    const QRect box = widget->contentsRect();
    QString text;
    int margin = 0, baseline = 0;
    if (auto* label = qobject_cast<const QLabel*>(widget)) {
        text = label->text();
        baseline = label->alignment() & Qt::AlignVCenter ? (box.height() - metrics.height()) / 2 + metrics.ascent()
                                                         : metrics.ascent();
    } else {
        text = qobject_cast<const QLineEdit*>(widget) ? static_cast<const QLineEdit*>(widget)->text()
                                                       : static_cast<const QAbstractButton*>(widget)->text();
        margin = 4;  // frame or bevel on either side
        baseline = (box.height() - metrics.height()) / 2 + metrics.ascent();
    }
    const QRect ink = metrics.tightBoundingRect(text).translated(0, baseline);
    return metrics.horizontalAdvance(text) <= box.width() - 2 * margin && ink.top() >= -1 &&
           ink.bottom() <= box.height();
}

std::u16string Driver::accessibleName(std::string_view name) const
{
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(control(name));
    return accessible ? toU16(accessible->text(QAccessible::Name)) : std::u16string();
}

std::string Driver::focus() const
{
    QWidget* widget = QApplication::focusWidget();
    return widget ? widget->objectName().toStdString() : std::string();
}

bool Driver::leftAligned(std::string_view name) const
{
    const auto* label = static_cast<const QLabel*>(control(name));
    const Qt::Alignment drawn = QStyle::visualAlignment(label->layoutDirection(), label->alignment());
    return (drawn & (Qt::AlignLeft | Qt::AlignRight | Qt::AlignHCenter | Qt::AlignJustify)) == Qt::AlignLeft;
}

bool Driver::masksText(std::string_view box) const
{
    return static_cast<const QLineEdit*>(control(box))->echoMode() != QLineEdit::Normal;
}

bool Driver::hasCloseControl() const
{
    const Qt::WindowFlags flags = formWindow()->windowFlags();
    const bool titleBar = !(flags & Qt::CustomizeWindowHint) || flags & Qt::WindowTitleHint;
    return flags & Qt::WindowCloseButtonHint && titleBar && !(flags & Qt::FramelessWindowHint);
}

std::vector<MenuItem> Driver::contextMenu(std::string_view box)
{
    // A right click, as a user opens it; the menu pops up without blocking.
    clickAt(control(box), Qt::RightButton);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    std::vector<MenuItem> items;
    if (!menu)
        return items;
    for (const QAction* action : menu->actions())
        if (!action->isSeparator())
            items.push_back({toU16(withoutAccessKeys(action->text())), action->isEnabled()});
    menu->close();
    QCoreApplication::processEvents();
    return items;
}

int Driver::closeWindow()
{
    QTimer::singleShot(0, [] { formWindow()->windowHandle()->close(); });
    return tk::Application::exec();
}
