// The office window's toolkit on Qt 6 Widgets: a QWidget with its controls
// placed from the layout table, each named and accessible by its caption.
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QLabel>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTranslator>
#include <QUrl>

#include <climits>
#include <map>
#include <stdexcept>

#include "office/window/toolkit.h"

namespace fs = std::filesystem;

namespace otk {

namespace {

QString toQString(std::u16string_view text)
{
    return QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
}

std::u16string toU16(const QString& text) { return text.toStdU16String(); }

QString fromPath(const fs::path& path) { return QString::fromStdU16String(path.u16string()); }
fs::path toPath(const QString& text) { return fs::path(text.toStdU16String()); }

// "名册 (*.xlsx *.ods);;所有文件 (*)": each label carries its patterns.
QString filterText(std::span<const FileFilter> filters)
{
    QStringList parts;
    for (const FileFilter& filter : filters)
        parts << toQString(filter.label);
    return parts.join(QStringLiteral(";;"));
}

// The platform's own dialog where there is one; Qt's where there is none
// (the offscreen platform of the tests).
QFileDialog::Options dialogOptions()
{
    return QGuiApplication::platformName() == u"offscreen" ? QFileDialog::DontUseNativeDialog : QFileDialog::Options();
}

}  // namespace

// The window itself: it hears drops and the request to close.
class OfficeWidget : public QWidget {
public:
    std::function<void(const fs::path&)> dropped;
    std::function<bool()> closing;
    bool forced = false;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override
    {
        const QList<QUrl> urls = event->mimeData()->urls();
        if (!urls.isEmpty() && urls.front().isLocalFile())
            event->acceptProposedAction();
    }
    void dropEvent(QDropEvent* event) override
    {
        const QList<QUrl> urls = event->mimeData()->urls();
        if (urls.isEmpty() || !urls.front().isLocalFile())
            return;
        event->acceptProposedAction();
        if (dropped)
            dropped(toPath(urls.front().toLocalFile()));
    }
    void closeEvent(QCloseEvent* event) override
    {
        if (forced || !closing || closing())
            event->accept();
        else
            event->ignore();
    }
};

struct NativeWindow {
    std::unique_ptr<OfficeWidget> widget;
    std::map<std::string, std::pair<Kind, QWidget*>, std::less<>> controls;
    bool closed = false;

    std::pair<Kind, QWidget*> find(std::string_view name) const
    {
        const auto found = controls.find(name);
        if (found == controls.end())
            throw std::logic_error("the window has no control " + std::string(name));
        return found->second;
    }
    template <class T>
    T* as(std::string_view name) const
    {
        auto* widget = qobject_cast<T*>(find(name).second);
        if (!widget)
            throw std::logic_error("the control " + std::string(name) + " cannot do that");
        return widget;
    }
};

Window::Window(const WindowLayout& layout) : native_(std::make_unique<NativeWindow>())
{
    native_->widget = std::make_unique<OfficeWidget>();
    OfficeWidget* window = native_->widget.get();
    window->setObjectName(QStringLiteral("PackForm"));
    window->setWindowTitle(toQString(layout.title));
    window->setAccessibleName(toQString(layout.title));
    window->setFixedSize(layout.width, layout.height);
    window->setAcceptDrops(true);
    for (const ControlLayout& control : layout.controls) {
        const QString caption = toQString(control.caption);
        QWidget* widget = nullptr;
        switch (control.kind) {
        case Kind::Label: {
            auto* label = new QLabel(caption, window);
            label->setTextFormat(Qt::PlainText);  // a roster's text is never markup
            label->setWordWrap(control.height > 30);
            label->setTextInteractionFlags(Qt::TextSelectableByMouse);
            widget = label;
            break;
        }
        case Kind::Button: widget = new QPushButton(caption, window); break;
        case Kind::Report: {
            auto* report = new QPlainTextEdit(window);
            report->setReadOnly(true);
            report->setLineWrapMode(QPlainTextEdit::WidgetWidth);
            // The packer's report in a fixed-pitch face, so that its columns line up.
            QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
            fixed.setPointSizeF(report->font().pointSizeF());
            report->setFont(fixed);
            widget = report;
            break;
        }
        case Kind::Radio: widget = new QRadioButton(caption, window); break;
        case Kind::Check: widget = new QCheckBox(caption, window); break;
        case Kind::Choice: widget = new QComboBox(window); break;
        case Kind::Progress: {
            auto* bar = new QProgressBar(window);
            bar->setFormat(QStringLiteral("%v / %m"));
            bar->setRange(0, 1);
            bar->setValue(0);
            widget = bar;
            break;
        }
        }
        widget->setObjectName(QString::fromUtf8(control.name.data(), static_cast<qsizetype>(control.name.size())));
        widget->setAccessibleName(caption);
        widget->setGeometry(control.left, control.top, control.width, control.height);
        native_->controls.emplace(std::string(control.name), std::pair(control.kind, widget));
    }
}

Window::~Window() = default;

void Window::show()
{
    native_->closed = false;
    native_->widget->show();
}

void Window::close()
{
    native_->widget->forced = true;
    native_->closed = true;
    native_->widget->close();
}

void Window::setText(std::string_view control, std::u16string_view text)
{
    const auto [kind, widget] = native_->find(control);
    const QString shown = toQString(text);
    switch (kind) {
    case Kind::Label: static_cast<QLabel*>(widget)->setText(shown); break;
    case Kind::Button:
    case Kind::Radio:
    case Kind::Check: static_cast<QAbstractButton*>(widget)->setText(shown); break;
    case Kind::Report: static_cast<QPlainTextEdit*>(widget)->setPlainText(shown); break;
    default: throw std::logic_error("the control " + std::string(control) + " shows no text");
    }
}

std::u16string Window::text(std::string_view control) const
{
    const auto [kind, widget] = native_->find(control);
    switch (kind) {
    case Kind::Label: return toU16(static_cast<QLabel*>(widget)->text());
    case Kind::Button:
    case Kind::Radio:
    case Kind::Check: return toU16(static_cast<QAbstractButton*>(widget)->text());
    case Kind::Report: return toU16(static_cast<QPlainTextEdit*>(widget)->toPlainText());
    case Kind::Choice: return toU16(static_cast<QComboBox*>(widget)->currentText());
    default: throw std::logic_error("the control " + std::string(control) + " shows no text");
    }
}

void Window::setEnabled(std::string_view control, bool enabled) { native_->find(control).second->setEnabled(enabled); }
bool Window::enabled(std::string_view control) const { return native_->find(control).second->isEnabled(); }
void Window::setVisible(std::string_view control, bool visible) { native_->find(control).second->setVisible(visible); }
bool Window::visible(std::string_view control) const { return !native_->find(control).second->isHidden(); }

void Window::setChecked(std::string_view control, bool checked)
{
    native_->as<QAbstractButton>(control)->setChecked(checked);
}

bool Window::checked(std::string_view control) const { return native_->as<QAbstractButton>(control)->isChecked(); }

void Window::setChoices(std::string_view control, const std::vector<std::u16string>& choices, int chosen)
{
    auto* box = native_->as<QComboBox>(control);
    box->clear();
    for (const std::u16string& choice : choices)
        box->addItem(toQString(choice));
    box->setCurrentIndex(chosen);
}

int Window::chosen(std::string_view control) const { return native_->as<QComboBox>(control)->currentIndex(); }

void Window::setProgress(std::string_view control, long long done, long long total)
{
    auto* bar = native_->as<QProgressBar>(control);
    // A bar counts in int; beyond that it counts in proportion.
    const long long scale = total > INT_MAX ? total / INT_MAX + 1 : 1;
    bar->setRange(0, static_cast<int>(std::max(1LL, total / scale)));
    bar->setValue(static_cast<int>(done / scale));
}

void Window::onEvent(std::string_view control, std::function<void()> handler)
{
    const auto [kind, widget] = native_->find(control);
    switch (kind) {
    case Kind::Button:
    case Kind::Radio:
    case Kind::Check:
        QObject::connect(static_cast<QAbstractButton*>(widget), &QAbstractButton::clicked, widget,
                         [handler = std::move(handler)] { handler(); });
        break;
    case Kind::Choice:
        QObject::connect(static_cast<QComboBox*>(widget), &QComboBox::activated, widget,
                         [handler = std::move(handler)] { handler(); });
        break;
    default: throw std::logic_error("the control " + std::string(control) + " has no events");
    }
}

void Window::onDrop(std::function<void(const fs::path&)> handler) { native_->widget->dropped = std::move(handler); }
void Window::onClose(std::function<bool()> handler) { native_->widget->closing = std::move(handler); }

std::optional<fs::path> Window::openFile(std::u16string_view title, std::span<const FileFilter> filters)
{
    if (const auto answer = testAnswer({Asked::Kind::OpenFile, std::u16string(title), std::u16string(title), {}}))
        return answer->path;
    const QString chosen = QFileDialog::getOpenFileName(native_->widget.get(), toQString(title), QString(),
                                                        filterText(filters), nullptr, dialogOptions());
    return chosen.isEmpty() ? std::nullopt : std::optional(toPath(chosen));
}

std::optional<fs::path> Window::saveFile(std::u16string_view title, const fs::path& suggested,
                                         std::span<const FileFilter> filters)
{
    if (const auto answer = testAnswer({Asked::Kind::SaveFile, std::u16string(title), std::u16string(title), suggested}))
        return answer->path;
    // The window asks itself before it replaces a file.
    const QString chosen =
        QFileDialog::getSaveFileName(native_->widget.get(), toQString(title), fromPath(suggested), filterText(filters),
                                     nullptr, dialogOptions() | QFileDialog::DontConfirmOverwrite);
    return chosen.isEmpty() ? std::nullopt : std::optional(toPath(chosen));
}

std::optional<fs::path> Window::chooseFolder(std::u16string_view title, const fs::path& start)
{
    if (const auto answer = testAnswer({Asked::Kind::Folder, std::u16string(title), std::u16string(title), start}))
        return answer->path;
    const QString chosen = QFileDialog::getExistingDirectory(native_->widget.get(), toQString(title), fromPath(start),
                                                             dialogOptions() | QFileDialog::ShowDirsOnly);
    return chosen.isEmpty() ? std::nullopt : std::optional(toPath(chosen));
}

bool Window::ask(std::u16string_view prompt, std::u16string_view title)
{
    if (const auto answer = testAnswer({Asked::Kind::Question, std::u16string(title), std::u16string(prompt), {}}))
        return answer->yes;
    QMessageBox box(QMessageBox::Question, toQString(title), toQString(prompt), QMessageBox::NoButton,
                    native_->widget.get());
    box.setTextFormat(Qt::PlainText);
    QPushButton* yes = box.addButton(QStringLiteral("是"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("否"), QMessageBox::NoRole);
    box.setDefaultButton(no);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

void Window::tell(std::u16string_view prompt, std::u16string_view title, bool warning)
{
    if (testAnswer({Asked::Kind::Message, std::u16string(title), std::u16string(prompt), {}}))
        return;
    QMessageBox box(warning ? QMessageBox::Warning : QMessageBox::Information, toQString(title), toQString(prompt),
                    QMessageBox::NoButton, native_->widget.get());
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(box.addButton(QStringLiteral("确定"), QMessageBox::AcceptRole));
    box.exec();
}

void Window::post(std::function<void()> work)
{
    // Queued to the window: dropped unrun once the window is gone, or closed.
    NativeWindow* native = native_.get();
    QMetaObject::invokeMethod(
        native->widget.get(),
        [native, work = std::move(work)] {
            if (!native->closed)
                work();
        },
        Qt::QueuedConnection);
}

bool openWithSystem(const fs::path& path)
{
    const QFileInfo file(fromPath(path));
    // A program is run; a folder or a page goes to the desktop's choice.
    if (file.isFile() && file.isExecutable() && file.suffix() != u"html")
        return QProcess::startDetached(file.absoluteFilePath(), {}, file.absolutePath());
    return QDesktopServices::openUrl(QUrl::fromLocalFile(file.absoluteFilePath()));
}

namespace {
QApplication* application = nullptr;
}

Application::Application(int& argc, char** argv)
{
    application = new QApplication(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("varnholt-office"));
    QGuiApplication::setDesktopFileName(QStringLiteral("varnholt-office"));  // its desktop entry
    // Qt's own texts (the file dialogs') in Chinese where Qt's translations are installed.
    auto* translator = new QTranslator(application);
    if (translator->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
}

Application::~Application()
{
    delete application;
    application = nullptr;
}

int Application::exec() { return QApplication::exec(); }

}  // namespace otk
