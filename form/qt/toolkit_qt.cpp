// The toolkit on Qt 6 Widgets.
#include <QApplication>
#include <QDeadlineTimer>
#include <QFont>
#include <QFontDatabase>
#include <QIcon>
#include <QImageReader>
#include <QPixmap>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QThread>
#include <QTranslator>

#include <xcb/xcb.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "form/native.h"

namespace tk {

namespace {

struct QtControl : NativeControl {
    QtControl(const ControlLayout& layout, QWidget* widget) : NativeControl(layout.name, layout.kind), widget(widget) {}
    QWidget* widget;
    bool stale = true;  // a text box's text changed since the program read it
};

struct QtForm : NativeForm {
    QWidget window;
    std::optional<QMargins> frame;  // on X11: the window manager's frame, learnt once
};

QtControl& qt(NativeControl& control)
{
    return static_cast<QtControl&>(control);
}

QtForm& qt(NativeForm& form)
{
    return static_cast<QtForm&>(form);
}

const ProjectRecord* project = nullptr;
QWidget* startupWindow = nullptr;  // owner of message boxes

QString toQString(std::u16string_view text)
{
    // QString(const QChar*, size) copies code units as they are: NUL and
    // unpaired surrogates included, no byte-order mark interpreted.
    return QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
}

std::u16string toU16(const QString& text)
{
    return std::u16string(reinterpret_cast<const char16_t*>(text.constData()), static_cast<size_t>(text.size()));
}

QScreen* screen()
{
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        throw controlError(u"没有屏幕");
    return screen;
}

// Twips per device-independent pixel: 15 at 96 dpi.
double twipsPerPixel()
{
    return 1440.0 / screen()->logicalDotsPerInch();
}

int pixels(double twips)
{
    return qRound(twips / twipsPerPixel());
}

// Qt seeks a face it lacks through fontconfig's whole fallback list, once
// per size and weight; an installed substitute named outright costs nothing.
QString installedFace(const QString& face)
{
    static const QStringList installed = QFontDatabase::families();
    if (installed.contains(face, Qt::CaseInsensitive))
        return face;
    for (const QString& substitute : QFont::substitutes(face))
        if (installed.contains(substitute, Qt::CaseInsensitive))
            return substitute;
    return face;
}

QFont toQFont(const Font& font)
{
    QFont qfont(installedFace(toQString(font.face)));
    qfont.setPointSizeF(font.points);
    qfont.setWeight(font.bold ? QFont::Bold : QFont::Normal);
    qfont.setStyleHint(QFont::Serif);
    // The Song faces have no bold of their own: as Windows does, thicken the regular one.
    qfont.setStyleName(QStringLiteral("Regular"));
    return qfont;
}

QWidget* create(const ControlLayout& layout, QWidget* parent)
{
    const QString caption = toQString(layout.caption);
    QWidget* widget = nullptr;
    switch (layout.kind) {
    case Kind::Label: {
        auto* label = new QLabel(caption, parent);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setTextFormat(Qt::PlainText);
        widget = label;
        break;
    }
    case Kind::TextBox: {
        auto* edit = new QLineEdit(caption, parent);
        edit->setMaxLength(INT_MAX);  // no length limit (Qt's default truncates at 32767)
        widget = edit;
        break;
    }
    case Kind::CommandButton: {
        auto* button = new QPushButton(caption, parent);
        button->setAutoDefault(false);  // Enter starts nothing
        widget = button;
        break;
    }
    }
    widget->setObjectName(QString::fromUtf8(layout.name.data(), static_cast<qsizetype>(layout.name.size())));
    widget->setGeometry(pixels(layout.left), pixels(layout.top), pixels(layout.width), pixels(layout.height));
    if (layout.font) {
        widget->setFont(toQFont(*layout.font));
        widget->setProperty("face", toQString(layout.font->face));
    }
    // A substitute face may set its lines taller than the label (Noto's CJK
    // faces do, unlike 宋体): then the line is centred so no glyph is cut.
    if (auto* label = qobject_cast<QLabel*>(widget); label && label->fontMetrics().height() > label->height())
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    if (layout.foreColor != DEFAULT_COLOR) {
        QPalette palette = widget->palette();
        palette.setColor(QPalette::WindowText, QColor::fromRgb(layout.foreColor));
        widget->setPalette(palette);
    }
    return widget;
}

QLineEdit* edit(NativeControl& box)
{
    return static_cast<QLineEdit*>(qt(box).widget);
}

}  // namespace

// ---- Controls --------------------------------------------------------------

void Control::setVisible(bool visible)
{
    qt(*native_).widget->setVisible(visible);
}

bool Control::visible() const
{
    return !qt(*native_).widget->isHidden();
}

bool textChanged(NativeControl& box)
{
    return std::exchange(qt(box).stale, false);
}

void readText(NativeControl& box, std::u16string& copy)
{
    copy = toU16(edit(box)->text());
}

// QLineEdit frees its own copies (its text and its layout's) without
// overwriting them; Qt offers no way to wipe them.
void putText(NativeControl& box, std::u16string_view text)
{
    qt(box).stale = true;
    edit(box)->setText(toQString(text));
}

void TextBox::setEnabled(bool enabled)
{
    qt(*native_).widget->setEnabled(enabled);
}

bool TextBox::enabled() const
{
    return qt(*native_).widget->isEnabled();
}

// ---- The form --------------------------------------------------------------

Form::Form(const FormLayout& layout) : native_(std::make_unique<QtForm>())
{
    QWidget& window = qt(*native_).window;
    window.setObjectName(QString::fromUtf8(layout.name.data(), static_cast<qsizetype>(layout.name.size())));
    window.setWindowTitle(toQString(layout.caption));
    window.setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    window.setFixedSize(pixels(layout.clientWidth), pixels(layout.clientHeight));
    window.setFont(toQFont(layout.font));
    window.setProperty("face", toQString(layout.font.face));
    QImageReader icon(QStringLiteral(":/frame/varnholt.png"), "png");
    icon.setAutoDetectImageFormat(false);  // else every image-format plugin is loaded to probe it
    window.setWindowIcon(QIcon(QPixmap::fromImage(icon.read())));

    for (const ControlLayout& control : layout.controls) {
        auto native = std::make_unique<QtControl>(control, create(control, &window));
        QtControl* self = native.get();
        self->widget->setAccessibleName(toQString(accessibleName(layout, control)));
        if (control.kind == Kind::TextBox)
            QObject::connect(edit(*self), &QLineEdit::textChanged, [self] { self->stale = true; });
        if (control.kind == Kind::CommandButton)
            QObject::connect(static_cast<QPushButton*>(self->widget), &QPushButton::clicked, [self] {
                if (self->click)
                    runHandler(self->click);
            });
        native_->controls.push_back(std::move(native));
    }

    // Tab order by tab index over the controls that can take the focus.
    std::vector<const ControlLayout*> order;
    for (const ControlLayout& control : layout.controls)
        if (control.kind != Kind::Label)
            order.push_back(&control);
    std::sort(order.begin(), order.end(), [](auto* a, auto* b) { return a->tabIndex < b->tabIndex; });
    for (std::size_t i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(qt(*findControl(*native_, order[i - 1]->name, order[i - 1]->kind)).widget,
                             qt(*findControl(*native_, order[i]->name, order[i]->kind)).widget);
    if (!startupWindow)
        startupWindow = &window;
}

Form::~Form()
{
    if (startupWindow == &qt(*native_).window)
        startupWindow = nullptr;
}

namespace {

xcb_atom_t atom(xcb_connection_t* x, const char* name)
{
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(x, xcb_intern_atom(x, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return atom;
}

// The 32-bit values of a window's property; empty if it has none of that type.
std::vector<std::uint32_t> property(xcb_connection_t* x, xcb_window_t window, xcb_atom_t name, xcb_atom_t type)
{
    std::vector<std::uint32_t> values;
    xcb_get_property_reply_t* reply =
        xcb_get_property_reply(x, xcb_get_property(x, 0, window, name, type, 0, 4), nullptr);
    if (reply && reply->format == 32) {
        const auto* data = static_cast<const std::uint32_t*>(xcb_get_property_value(reply));
        values.assign(data, data + xcb_get_property_value_length(reply) / 4);
    }
    std::free(reply);
    return values;
}

// The frame an X11 window manager will put around the window, asked for
// before the window is mapped: without a window manager, or if it does not
// answer in time, there is none. Qt reads the connection's events on its own
// thread, so the answer is polled as a property rather than awaited as an event.
QMargins frameExtents(QWidget& window)
{
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11)
        return {};
    xcb_connection_t* x = x11->connection();
    const auto id = static_cast<xcb_window_t>(window.winId());  // creates the native window, still unmapped
    xcb_get_geometry_reply_t* geometry = xcb_get_geometry_reply(x, xcb_get_geometry(x, id), nullptr);
    if (!geometry)
        return {};
    const xcb_window_t root = geometry->root;
    std::free(geometry);
    // An EWMH window manager names its own window on the root and on that window.
    const xcb_atom_t check = atom(x, "_NET_SUPPORTING_WM_CHECK");
    const std::vector<std::uint32_t> manager = property(x, root, check, XCB_ATOM_WINDOW);
    if (manager.empty() || property(x, manager[0], check, XCB_ATOM_WINDOW) != manager)
        return {};

    xcb_client_message_event_t request{};
    request.response_type = XCB_CLIENT_MESSAGE;
    request.format = 32;
    request.window = id;
    request.type = atom(x, "_NET_REQUEST_FRAME_EXTENTS");
    xcb_send_event(x, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char*>(&request));
    xcb_flush(x);
    const xcb_atom_t extents = atom(x, "_NET_FRAME_EXTENTS");
    for (QDeadlineTimer deadline(300); !deadline.hasExpired(); QThread::msleep(5))
        if (const std::vector<std::uint32_t> e = property(x, id, extents, XCB_ATOM_CARDINAL); e.size() == 4) {
            const double ratio = window.devicePixelRatioF();  // X11 counts device pixels
            return QMargins(qRound(e[0] / ratio), qRound(e[2] / ratio), qRound(e[1] / ratio), qRound(e[3] / ratio));
        }
    return {};
}

// The window's outer size in pixels. On X11 the window manager adds its frame
// only once the window is mapped: the frame it announces counts from the
// start. Elsewhere the outer size is what Qt knows of it.
QSize outerSize(QtForm& form)
{
    if (QGuiApplication::platformName() != u"xcb")
        return form.window.frameGeometry().size();
    if (!form.frame)
        form.frame = frameExtents(form.window);
    return form.window.size().grownBy(*form.frame);
}

}  // namespace

float Form::width() const
{
    return static_cast<float>(outerSize(qt(*native_)).width() * twipsPerPixel());
}

float Form::height() const
{
    return static_cast<float>(outerSize(qt(*native_)).height() * twipsPerPixel());
}

namespace {

// Where the client area lies inside the outer corner, as far as Qt does not
// know it yet: Qt moves a native window that is not shown by its client
// area, so a frame learnt from the X11 window manager is added here.
QPoint frameQtLacks(const QtForm& form)
{
    if (form.window.isVisible() || !form.frame)
        return {};
    return {form.frame->left(), form.frame->top()};
}

}  // namespace

void Form::setLeft(float twips)
{
    left_ = twips;
    QWidget& window = qt(*native_).window;
    window.move(pixels(twips) + frameQtLacks(qt(*native_)).x(), window.pos().y());
}

void Form::setTop(float twips)
{
    top_ = twips;
    QWidget& window = qt(*native_).window;
    window.move(window.pos().x(), pixels(twips) + frameQtLacks(qt(*native_)).y());
}

void Form::show()
{
    // The focus starts in the first control in tab order that can take it.
    QWidget& window = qt(*native_).window;
    for (QWidget* w = window.nextInFocusChain(); w != &window; w = w->nextInFocusChain())
        if (w->focusPolicy() & Qt::TabFocus && w->isEnabled() && !w->isHidden()) {
            w->setFocus(Qt::TabFocusReason);
            break;
        }
    window.show();
    window.activateWindow();
}

// ---- Screen, message box, End ----------------------------------------------

float Screen::width()
{
    return static_cast<float>(screen()->geometry().width() * twipsPerPixel());
}

float Screen::height()
{
    return static_cast<float>(screen()->geometry().height() * twipsPerPixel());
}

void showMessage(std::u16string_view prompt, std::u16string_view title)
{
    QMessageBox box(QMessageBox::NoIcon, toQString(title), toQString(prompt), QMessageBox::Ok, startupWindow);
    box.setTextFormat(Qt::PlainText);
    box.button(QMessageBox::Ok)->setIcon(QIcon());  // no icon at all, not even on the button
    box.exec();
}

BusyCursor::BusyCursor()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

BusyCursor::~BusyCursor()
{
    QApplication::restoreOverrideCursor();
}

void End()
{
    std::_Exit(0);
}

void reportRuntimeError(const RuntimeError& error) noexcept
{
    try {
        const QString title = project ? toQString(project->name) : QString();
        const QString text = toQString(error.report());
        QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Ok, startupWindow);
        box.setTextFormat(Qt::PlainText);
        box.exec();
    } catch (...) {
        // The report itself failed (out of memory): end all the same.
    }
    std::_Exit(1);
}

// ---- The application -------------------------------------------------------

namespace {

int argc = 1;
char programName[] = "varnholt";
char* argv[] = {programName, nullptr};

QLocale localeOf(int lcid)
{
    return lcid == 2052 ? QLocale(QLocale::Chinese, QLocale::China) : QLocale::system();
}

}  // namespace

Application::Application(const ProjectRecord& record)
{
    project = &record;
    // The command line is not the program's: Qt gets only the program name.
    auto* app = new QApplication(argc, argv);
    QCoreApplication::setApplicationName(toQString(record.name));
    QCoreApplication::setApplicationVersion(QStringLiteral("%1.%2").arg(record.major).arg(record.minor, 2, 10, QChar(u'0')));

    QLocale::setDefault(localeOf(record.locale));
    // Qt's own texts (the OK button, the edit boxes' menu) in Simplified
    // Chinese, from the translation compiled into the program: no installed
    // package decides the language of the window.
    auto* translator = new QTranslator(app);
    if (record.locale == 2052 && translator->load(QStringLiteral(":/translations/qtbase_zh_CN.qm")))
        QCoreApplication::installTranslator(translator);

    // Song-style faces of the Windows fonts where those are not installed.
    const QStringList song = {QStringLiteral("Noto Serif CJK SC"), QStringLiteral("Noto Serif CJK"),
                              QStringLiteral("AR PL UMing CN"), QStringLiteral("Source Han Serif SC")};
    QFont::insertSubstitutions(QStringLiteral("宋体"), song);
    QFont::insertSubstitutions(QStringLiteral("方正小标宋简体"), song);
}

Application::~Application()
{
    delete qApp;
    project = nullptr;
}

int Application::exec()
{
    return QApplication::exec();
}

void processEvents()
{
    QCoreApplication::processEvents();
}

}  // namespace tk
