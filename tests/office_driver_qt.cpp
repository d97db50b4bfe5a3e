// The office driver on Qt: clicks and drops go through the window as the
// platform would deliver them, so disabled controls refuse them as they do
// for a clerk.
#include "tests/office_driver.h"

#include <QApplication>
#include <QComboBox>
#include <QMimeData>
#include <QProgressBar>
#include <QTest>
#include <QUrl>

#include <stdexcept>

namespace {

QString toQString(std::u16string_view text)
{
    return QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
}

QWidget* officeWindow()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == u"PackForm" && w->isVisible())
            return w;
    throw std::runtime_error("the office window is not open");
}

// The control a screen reader announces by this name.
QWidget* control(std::u16string_view name)
{
    const QString wanted = toQString(name);
    for (QWidget* widget : officeWindow()->findChildren<QWidget*>())
        if (widget->accessibleName() == wanted)
            return widget;
    throw std::runtime_error("the office window has no control " + wanted.toStdString());
}

}  // namespace

OfficeDriver::OfficeDriver(PackForm::Setup setup, const std::filesystem::path& roster)
{
    takeDialogs();
    form_ = std::make_unique<PackForm>(std::move(setup));
    form_->window().show();
    if (!QTest::qWaitForWindowExposed(officeWindow()))
        throw std::runtime_error("the office window was not shown");
    if (!roster.empty())
        form_->open(roster);
}

OfficeDriver::~OfficeDriver()
{
    form_->window().close();
    form_.reset();
    otk::answerDialogs({});
    QCoreApplication::processEvents();
}

void OfficeDriver::click(std::u16string_view name)
{
    QWidget* widget = control(name);
    // A check box or radio button takes the click on its box, as a clerk aims.
    const bool box = widget->inherits("QCheckBox") || widget->inherits("QRadioButton");
    QTest::mouseClick(widget, Qt::LeftButton, {}, box ? QPoint(8, widget->height() / 2) : widget->rect().center());
    QCoreApplication::processEvents();
}

void OfficeDriver::drop(const std::filesystem::path& file)
{
    QWidget* window = officeWindow();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdU16String(file.u16string()))});
    const QPointF at = window->rect().center();
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(window, &enter);
    if (!enter.isAccepted())
        throw std::runtime_error("the office window refuses the file dropped");
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(window, &drop);
    QCoreApplication::processEvents();
}

bool OfficeDriver::close() { return officeWindow()->close(); }

void OfficeDriver::choose(std::u16string_view name, int index)
{
    auto* box = qobject_cast<QComboBox*>(control(name));
    if (!box || !box->isEnabled() || index >= box->count())
        throw std::runtime_error("cannot choose there");
    box->setCurrentIndex(index);
    Q_EMIT box->activated(index);
    QCoreApplication::processEvents();
}

std::u16string OfficeDriver::text(std::u16string_view name) const { return form_->window().text([&] {
    // The toolkit reads by its own names; find the one behind this accessible name.
    return control(name)->objectName().toStdString();
}()); }

bool OfficeDriver::enabled(std::u16string_view name) const { return control(name)->isEnabled(); }
bool OfficeDriver::visible(std::u16string_view name) const { return control(name)->isVisible(); }
bool OfficeDriver::checked(std::u16string_view name) const
{
    return form_->window().checked(control(name)->objectName().toStdString());
}

std::vector<std::u16string> OfficeDriver::choices(std::u16string_view name) const
{
    auto* box = qobject_cast<QComboBox*>(control(name));
    std::vector<std::u16string> shown;
    for (int i = 0; box && i < box->count(); ++i)
        shown.push_back(box->itemText(i).toStdU16String());
    return shown;
}

std::pair<long long, long long> OfficeDriver::progress(std::u16string_view name) const
{
    auto* bar = qobject_cast<QProgressBar*>(control(name));
    if (!bar)
        throw std::runtime_error("not a progress bar");
    return {bar->value(), bar->maximum()};
}

bool OfficeDriver::waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        QTest::qWait(10);
    }
    return true;
}

void OfficeDriver::screenshot(const std::filesystem::path& png) const
{
    officeWindow()->grab().save(QString::fromStdU16String(png.u16string()), "PNG");
}
