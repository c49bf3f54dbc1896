#include "widgets/FileDialog.h"

#include "widgets/MessageBox.h"

#include <QFileDialog>
#include <QFileInfo>
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

QString save(QWidget *parent, const QString &caption, const QString &dir, const QString &filter,
             const QString &defaultSuffix)
{
    for (;;) {
        QString chosen;
        if (state().on) {
            chosen = answer();
        } else {
            QFileDialog dialog(parent, caption, dir, filter);
            dialog.setAcceptMode(QFileDialog::AcceptSave);
            dialog.setDefaultSuffix(defaultSuffix);
            if (dialog.exec() != QDialog::Accepted)
                return QString();
            chosen = dialog.selectedFiles().value(0);
        }
        if (chosen.isEmpty())
            return QString();
        const QString file = withDefaultSuffix(chosen, defaultSuffix);
        if (file == chosen || confirmReplace(parent, file))
            return file;
    }
}

bool confirmReplace(QWidget *parent, const QString &file)
{
    if (!QFileInfo::exists(file))
        return true;
    const QString question = QStringLiteral("%1 は既に存在します。\r\n上書きしますか？").arg(QFileInfo(file).fileName());
    return MessageBox::confirm(parent, question, MessageBox::Buttons::YesNo) == MessageBox::Answer::Yes;
}

QString withDefaultSuffix(const QString &file, const QString &suffix)
{
    if (file.isEmpty() || suffix.isEmpty() || !QFileInfo(file).suffix().isEmpty())
        return file;
    return file + QLatin1Char('.') + suffix;
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
