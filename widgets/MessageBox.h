#pragma once
// Every message box of the program goes through here, so tests can answer it.
#include <QList>
#include <QString>

class QWidget;

namespace MessageBox {

enum class Kind { Warning, Confirm, Info, Error };
enum class Answer { Ok, Cancel, Yes, No };
enum class Buttons { YesNoCancel, YesNo, OkCancel };

void warning(QWidget *parent, const QString &text);
void info(QWidget *parent, const QString &text);
void error(QWidget *parent, const QString &text);
Answer confirm(QWidget *parent, const QString &text, Buttons buttons = Buttons::YesNoCancel);

// Test seam: once enabled, no box is shown; each is recorded and confirmations take the
// next queued answer (No when none is queued).
struct Shown {
    Kind kind;
    QString text;
};
void setTestMode(bool on);
bool testMode();
void queueAnswer(Answer answer);
QList<Shown> takeShown();

} // namespace MessageBox
