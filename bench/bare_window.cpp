// The yardstick for start-up time and memory: a window of the program's
// client size and title, with one label, one text box and one button in the
// same CJK serif face, and nothing else.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Varnholt"));
    window.setFixedSize(575, 284);
    window.setFont(QFont(QStringLiteral("Noto Serif CJK SC"), 12));
    QLabel label(QStringLiteral("准考证号："), &window);
    label.setGeometry(112, 96, 89, 25);
    QLineEdit edit(&window);
    edit.setGeometry(192, 96, 289, 25);
    QPushButton button(QStringLiteral("确  定"), &window);
    button.setGeometry(232, 184, 113, 33);
    window.show();
    return QApplication::exec();
}
