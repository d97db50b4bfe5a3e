// The time of one click on 确  定 (Form1::Command1_Click), from the handler's
// start to its return, on Qt's offscreen platform. The form is made as the
// program makes it. A warning's message box is part of the click: it is
// closed with its button as soon as it shows. The valid cases show no box and
// so time the query alone; 继续查询 puts the form back between two clicks.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <cstdlib>
#include <memory>
#include <string>

#include "form/form1.h"
#include "frame/project.h"

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

std::u16string ticket(int row) { return std::u16string(ROSTER_DATA[row - 1].zhun); }
std::u16string identity(int row) { return std::u16string(ROSTER_DATA[row - 1].shen); }

// Types the two numbers anew (so the click reads them afresh, as after a
// user's typing), then lets the window catch up with its events.
void enter(const std::u16string& ticketNumber, const std::u16string& identityNumber)
{
    form->Text1.setText(u"");
    form->Text2.setText(u"");
    form->Text1.setText(ticketNumber);
    form->Text2.setText(identityNumber);
    QCoreApplication::processEvents();
}

void click(benchmark::State& state, const std::u16string& ticketNumber, const std::u16string& identityNumber)
{
    for (auto _ : state) {
        state.PauseTiming();
        enter(ticketNumber, identityNumber);
        state.ResumeTiming();
        form->Command1_Click();
        state.PauseTiming();
        if (form->Command2.visible())  // the result state: back to input
            form->Command2_Click();
        state.ResumeTiming();
    }
}

}  // namespace

int main(int argc, char* argv[])
{
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    benchmark::Initialize(&argc, argv);

    tk::Application application(PROJECT);
    Form1 form1;
    form = &form1;
    tk::runHandler([] { form->Form_Load(); });
    form1.show();
    QCoreApplication::processEvents();
    BoxCloser closer;
    qApp->installEventFilter(&closer);

    const std::u16string longInput(1'000'000, u'1');
    const struct {
        const char* name;
        std::u16string ticket, identity;
    } cases[] = {
        {"valid/row1", ticket(1), identity(1)},
        {"valid/row339", ticket(ROSTER_ROWS), identity(ROSTER_ROWS)},
        {"warning/unknownTicket", u"10799999999", identity(1)},
        {"warning/mismatchingIdentity", ticket(1), identity(2)},
        {"warning/millionCharacterTicket", longInput, identity(1)},
    };
    for (const auto& c : cases)
        benchmark::RegisterBenchmark(c.name, click, c.ticket, c.identity)
            ->Unit(benchmark::kMicrosecond)
            ->UseRealTime();

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
}
