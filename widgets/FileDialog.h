#pragma once
// Every file dialog of the program goes through here, so tests can answer it.
#include <QString>

class QWidget;

namespace FileDialog {

// Returns the chosen file, or an empty string when the user cancelled.
QString open(QWidget *parent, const QString &caption, const QString &dir, const QString &filter);
QString save(QWidget *parent, const QString &caption, const QString &dir, const QString &filter);

// Test seam: the next dialogs return these names in order (an empty name is a cancel);
// with none queued in test mode a dialog is cancelled.
void setTestMode(bool on);
void queueFileName(const QString &name);

} // namespace FileDialog
