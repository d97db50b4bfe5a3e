// The time of one click on 确  定 (Form1::Command1_Click), from the handler's
// start to its return, on Qt's offscreen platform. The form is made as the
// program makes it. A warning's message box is part of the click: it is
// closed with its button as soon as it shows. The valid cases show no box and
// so time the query alone; 继续查询 puts the form back between two clicks.
// Each figure is the median of 15 repetitions.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "form/form1.h"
#include "frame/project.h"
#include "tests/carried_roster.h"

namespace {

Form1* form = nullptr;

// Clicks the first button of every message box as soon as it shows.
class BoxCloser : public QObject {
protected:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        auto* box = qobject_cast<QMessageBox*>(object);
        if (box && event->type() == QEvent::Show)
            QTimer::singleShot(0, box, [box] { box->buttons().constFirst()->click(); });
        return false;
    }
};

// The offscreen platform says so for every message box.
void quietHandler(QtMsgType, const QMessageLogContext&, const QString& message)
{
    if (!message.contains(u"propagateSizeHints"))
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

void click(benchmark::State& state, const std::u16string& ticket, const std::u16string& identity)
{
    for (auto _ : state) {
        // Typed anew, so that the click reads both boxes afresh as after a
        // user's typing; the window then catches up with its events.
        form->Text1.setText(u"");
        form->Text2.setText(u"");
        form->Text1.setText(ticket);
        form->Text2.setText(identity);
        QCoreApplication::processEvents();

        const auto start = std::chrono::steady_clock::now();
        form->Command1_Click();
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        state.SetIterationTime(elapsed.count());

        if (form->Command2.visible())  // the result state: back to input
            form->Command2_Click();
    }
}

std::u16string ticket(int row) { return std::u16string(ROSTER_DATA[row - 1].zhun); }
std::u16string identity(int row) { return std::u16string(ROSTER_DATA[row - 1].shen); }

}  // namespace

int main(int argc, char* argv[])
{
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    qInstallMessageHandler(quietHandler);
    benchmark::Initialize(&argc, argv);

    tk::Application application(PROJECT);
    Form1 form1;
    form = &form1;
    tk::runHandler([] { form->Form_Load(); });
    form1.show();
    QCoreApplication::processEvents();
    BoxCloser closer;
    qApp->installEventFilter(&closer);

    const struct {
        const char* name;
        std::u16string ticket, identity;
    } cases[] = {
        {"valid/row1", ticket(1), identity(1)},
        {"valid/row339", ticket(ROSTER_ROWS), identity(ROSTER_ROWS)},
        {"warning/unknownTicket", u"10799999999", identity(1)},
        {"warning/mismatchingIdentity", ticket(1), identity(2)},
        {"warning/millionCharacterTicket", std::u16string(1'000'000, u'1'), identity(1)},
    };
    for (const auto& c : cases) {
        auto* bench = benchmark::RegisterBenchmark(c.name, click, c.ticket, c.identity)
                          ->Unit(benchmark::kMicrosecond)
                          ->UseManualTime()
                          ->Repetitions(15)
                          ->ReportAggregatesOnly();
        // Typing a million characters and drawing them takes most of a
        // second, outside the timed click: one click per repetition.
        if (c.ticket.size() > 1000)
            bench->Iterations(1);
        else
            bench->MinTime(0.05);
    }

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
}
