#include "widgets/FileDialog.h"

#include <QFileDialog>
#include <QStringList>

namespace FileDialog {
namespace {

struct TestState {
    bool on = false;
    QStringList names;
};
TestState &state()
{
    static TestState s;
    return s;
}

QString answer()
{
    return state().names.isEmpty() ? QString() : state().names.takeFirst();
}

} // namespace

QString open(QWidget *parent, const QString &caption, const QString &dir, const QString &filter)
{
    if (state().on)
        return answer();
    return QFileDialog::getOpenFileName(parent, caption, dir, filter);
}

QString save(QWidget *parent, const QString &caption, const QString &dir, const QString &filter)
{
    if (state().on)
        return answer();
    return QFileDialog::getSaveFileName(parent, caption, dir, filter);
}

void setTestMode(bool on)
{
    state() = TestState{};
    state().on = on;
}

void queueFileName(const QString &name)
{
    state().names.append(name);
}

} // namespace FileDialog
