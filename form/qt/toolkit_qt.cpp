// The toolkit on Qt 6 Widgets.
#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QIcon>
#include <QImageReader>
#include <QPixmap>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTranslator>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <vector>

#include "form/toolkit.h"

namespace tk {

struct NativeControl {
    std::string_view name;
    Kind kind;
    QWidget* widget;
    std::function<void()> click;
    // Text of a text box as last read; refreshed on the first read after a change.
    std::u16string text;
    bool stale = true;
};

struct NativeForm {
    QWidget window;
    std::vector<std::unique_ptr<NativeControl>> controls;
};

namespace {

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

}  // namespace

NativeControl* findControl(const NativeForm& form, std::string_view name, Kind kind)
{
    for (const auto& control : form.controls)
        if (control->name == name && control->kind == kind)
            return control.get();
    throw controlError(u"没有这个控件");
}

namespace {

QLineEdit* edit(NativeControl* control)
{
    return static_cast<QLineEdit*>(control->widget);
}

}  // namespace

// ---- Controls --------------------------------------------------------------

void Control::setVisible(bool visible)
{
    native_->widget->setVisible(visible);
}

bool Control::visible() const
{
    return !native_->widget->isHidden();
}

const std::u16string& TextBox::text() const
{
    if (native_->stale) {
        native_->text = toU16(edit(native_)->text());
        native_->stale = false;
    }
    return native_->text;
}

void TextBox::setText(std::u16string_view text)
{
    edit(native_)->setText(toQString(text));
}

void TextBox::setEnabled(bool enabled)
{
    native_->widget->setEnabled(enabled);
}

bool TextBox::enabled() const
{
    return native_->widget->isEnabled();
}

void CommandButton::onClick(std::function<void()> handler)
{
    native_->click = std::move(handler);
}

// ---- The form --------------------------------------------------------------

Form::Form(const FormLayout& layout) : native_(std::make_unique<NativeForm>())
{
    QWidget& window = native_->window;
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
        auto native = std::make_unique<NativeControl>(NativeControl{control.name, control.kind, create(control, &window), {}, {}, true});
        NativeControl* self = native.get();
        self->widget->setAccessibleName(toQString(accessibleName(layout, control)));
        if (control.kind == Kind::TextBox)
            QObject::connect(edit(self), &QLineEdit::textChanged, [self] { self->stale = true; });
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
        QWidget::setTabOrder(findControl(*native_, order[i - 1]->name, order[i - 1]->kind)->widget,
                             findControl(*native_, order[i]->name, order[i]->kind)->widget);
    if (!startupWindow)
        startupWindow = &window;
}

Form::~Form()
{
    if (startupWindow == &native_->window)
        startupWindow = nullptr;
}

float Form::width() const
{
    return static_cast<float>(native_->window.frameGeometry().width() * twipsPerPixel());
}

float Form::height() const
{
    return static_cast<float>(native_->window.frameGeometry().height() * twipsPerPixel());
}

void Form::setLeft(float twips)
{
    left_ = twips;
    native_->window.move(pixels(twips), native_->window.pos().y());
}

void Form::setTop(float twips)
{
    top_ = twips;
    native_->window.move(native_->window.pos().x(), pixels(twips));
}

void Form::show()
{
    // The focus starts in the first control in tab order that can take it.
    QWidget& window = native_->window;
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

void MsgBox(std::u16string_view prompt, int buttons, std::u16string_view title)
{
    if (buttons != 0)
        throw controlError(u"MsgBox 只支持“确定”按钮");
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

    const QLocale locale = localeOf(record.locale);
    QLocale::setDefault(locale);
    auto* translator = new QTranslator(app);
    if (translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
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
