#pragma once
// Every message box of the program goes through here, so tests can answer it.
#include <QList>
#include <QObject>
#include <QString>

#include <functional>

class QWidget;

namespace MessageBox {

enum class Kind { Warning, Confirm, Info, Error };
enum class Answer { Ok, Cancel, Yes, No };
enum class Buttons { YesNoCancel, YesNo, OkCancel };

void warning(QWidget *parent, const QString &text);
void info(QWidget *parent, const QString &text);
void error(QWidget *parent, const QString &text);
Answer confirm(QWidget *parent, const QString &text, Buttons buttons = Buttons::YesNoCancel);
// A question the program withdraws when what it asks about goes away while it is open:
// closeWhen gets the box's close function and returns the connection that will call it. A
// box closed that way answers Cancel, whatever buttons it has.
using CloseHook = std::function<QMetaObject::Connection(const std::function<void()> &close)>;
Answer confirm(QWidget *parent, const QString &text, Buttons buttons, const CloseHook &closeWhen);

// Test seam: once enabled, no box is shown; each is recorded and confirmations take the
// next queued answer (No when none is queued). What happens while the next question is
// open can be queued too: a question it closes is recorded as withdrawn and answers Cancel
// (its queued answer is used up all the same).
struct Shown {
    Kind kind;
    QString text;
    bool withdrawn = false;
};
void setTestMode(bool on);
bool testMode();
void queueAnswer(Answer answer);
void queueMeanwhile(std::function<void()> meanwhile);
QList<Shown> takeShown();

} // namespace MessageBox
