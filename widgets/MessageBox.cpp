#include "widgets/MessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QMutex>

namespace MessageBox {
namespace {

struct TestState {
    bool on = false;
    QList<Answer> answers;
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
    if (state().on) {
        state().shown.append({Kind::Confirm, text});
        return state().answers.isEmpty() ? Answer::No : state().answers.takeFirst();
    }
    QMessageBox::StandardButtons b;
    switch (buttons) {
    case Buttons::YesNoCancel: b = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel; break;
    case Buttons::YesNo: b = QMessageBox::Yes | QMessageBox::No; break;
    case Buttons::OkCancel: b = QMessageBox::Ok | QMessageBox::Cancel; break;
    }
    return fromButton(QMessageBox::question(parent, title(), text, b));
}

void setTestMode(bool on)
{
    state() = TestState{};
    state().on = on;
}

bool testMode() { return state().on; }

void queueAnswer(Answer answer) { state().answers.append(answer); }

QList<Shown> takeShown()
{
    QList<Shown> out;
    out.swap(state().shown);
    return out;
}

} // namespace MessageBox
