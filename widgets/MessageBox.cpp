#include "widgets/MessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QMutex>

namespace MessageBox {
namespace {

struct TestState {
    bool on = false;
    QList<Answer> answers;
    QList<std::function<void()>> meanwhile;
    QList<Shown> shown;
};
TestState &state()
{
    static TestState s;
    return s;
}

QString title()
{
    return QStringLiteral("ツバメ便");
}

Answer fromButton(int b)
{
    switch (b) {
    case QMessageBox::Yes: return Answer::Yes;
    case QMessageBox::No: return Answer::No;
    case QMessageBox::Ok: return Answer::Ok;
    default: return Answer::Cancel;
    }
}

void show(QWidget *parent, Kind kind, const QString &text)
{
    if (state().on) {
        state().shown.append({kind, text});
        return;
    }
    switch (kind) {
    case Kind::Warning: QMessageBox::warning(parent, title(), text); break;
    case Kind::Info: QMessageBox::information(parent, title(), text); break;
    default: QMessageBox::critical(parent, title(), text); break;
    }
}

} // namespace

void warning(QWidget *parent, const QString &text) { show(parent, Kind::Warning, text); }
void info(QWidget *parent, const QString &text) { show(parent, Kind::Info, text); }
void error(QWidget *parent, const QString &text) { show(parent, Kind::Error, text); }

Answer confirm(QWidget *parent, const QString &text, Buttons buttons)
{
    return confirm(parent, text, buttons, CloseHook());
}

Answer confirm(QWidget *parent, const QString &text, Buttons buttons, const CloseHook &closeWhen)
{
    bool withdrawn = false;
    if (state().on) {
        state().shown.append({Kind::Confirm, text});
        const qsizetype index = state().shown.size() - 1;
        QMetaObject::Connection hook;
        if (closeWhen)
            hook = closeWhen([&withdrawn] { withdrawn = true; });
        if (!state().meanwhile.isEmpty())
            state().meanwhile.takeFirst()();
        QObject::disconnect(hook);
        const Answer answer = state().answers.isEmpty() ? Answer::No : state().answers.takeFirst();
        if (!withdrawn)
            return answer;
        if (index < state().shown.size())
            state().shown[index].withdrawn = true;
        return Answer::Cancel;
    }
    QMessageBox::StandardButtons b;
    switch (buttons) {
    case Buttons::YesNoCancel: b = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel; break;
    case Buttons::YesNo: b = QMessageBox::Yes | QMessageBox::No; break;
    case Buttons::OkCancel: b = QMessageBox::Ok | QMessageBox::Cancel; break;
    }
    QMessageBox box(QMessageBox::Question, title(), text, b, parent);
    QMetaObject::Connection hook;
    if (closeWhen)
        hook = closeWhen([&box, &withdrawn] {
            if (withdrawn)
                return;
            withdrawn = true;
            box.done(QMessageBox::Cancel);
        });
    const int button = box.exec();
    QObject::disconnect(hook);
    return withdrawn ? Answer::Cancel : fromButton(button);
}

void setTestMode(bool on)
{
    state() = TestState{};
    state().on = on;
}

bool testMode() { return state().on; }

void queueAnswer(Answer answer) { state().answers.append(answer); }

void queueMeanwhile(std::function<void()> meanwhile) { state().meanwhile.append(std::move(meanwhile)); }

QList<Shown> takeShown()
{
    QList<Shown> out;
    out.swap(state().shown);
    return out;
}

} // namespace MessageBox
