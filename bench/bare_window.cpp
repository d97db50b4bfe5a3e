// The yardstick for start-up time and memory: the program's window written
// in plain Qt. The same client size and title, the same fourteen controls at
// the same places, captions and fonts (the CJK serif face the program draws
// with), the result controls hidden as in the input state; no roster, no
// toolkit layer, nothing else.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

namespace {

// Twips (15 to a pixel at 96 dpi) and points, as the program's layout has them.
QRect at(int left, int top, int width, int height) { return {left / 15, top / 15, width / 15, height / 15}; }

QFont serif(double points, bool bold = false)
{
    QFont font(QStringLiteral("Noto Serif CJK SC"));
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

template <typename Widget>
Widget* place(Widget* widget, QRect where, const QFont& font)
{
    widget->setGeometry(where);
    widget->setFont(font);
    return widget;
}

}  // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Varnholt"));
    window.setFixedSize(575, 284);
    window.setFont(serif(15.75, true));
    const QFont text = serif(12), button = serif(14.25);

    const auto label = [&](const char* caption, QRect where, const QFont& font) {
        return place(new QLabel(QString::fromUtf8(caption), &window), where, font);
    };
    const auto box = [&](QRect where) { return place(new QLineEdit(&window), where, text); };
    const auto command = [&](const char* caption, QRect where) {
        return place(new QPushButton(QString::fromUtf8(caption), &window), where, button);
    };

    label("Ostrevin", at(600, 360, 7695, 615), serif(15, true));
    QLabel* title = label("笔试成绩查询", at(3240, 840, 2175, 375), serif(15.75));
    title->setStyleSheet(QStringLiteral("color: #FF0000"));
    label("准考证号：", at(1680, 1440, 1335, 375), text);
    QLineEdit* ticket = box(at(2880, 1440, 4335, 375));
    label("身份证号：", at(1680, 1920, 1335, 375), text);
    box(at(2880, 1920, 4335, 375));
    QLabel* nameLabel = label("姓    名：", at(1680, 2400, 1335, 375), text);
    QLineEdit* name = box(at(2880, 2400, 4335, 375));
    command("确  定", at(3480, 2760, 1695, 495));
    QLabel* scoreLabel = label("成    绩：", at(1680, 2880, 1335, 375), text);
    QLineEdit* score = box(at(2880, 2880, 4335, 375));
    QPushButton* again = command("继续查询", at(2280, 3480, 1695, 495));
    QPushButton* quit = command("退  出", at(4320, 3480, 1695, 495));
    label("Brenmoor制", at(6480, 3840, 2415, 375), window.font());

    // The input state: the result controls hidden, its boxes read-only.
    for (QWidget* hidden : std::initializer_list<QWidget*>{nameLabel, name, scoreLabel, score, again, quit})
        hidden->hide();
    name->setReadOnly(true);
    score->setReadOnly(true);
    name->setEnabled(false);
    score->setEnabled(false);
    ticket->setFocus();

    window.show();
    return QApplication::exec();
}
