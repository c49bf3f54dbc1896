#pragma once
// Every file dialog of the program goes through here, so tests can answer it.
#include <QString>

class QWidget;

namespace FileDialog {

// Returns the chosen file, or an empty string when the user cancelled.
QString open(QWidget *parent, const QString &caption, const QString &dir, const QString &filter);
QString save(QWidget *parent, const QString &caption, const QString &dir, const QString &filter);

// A save dialog for files of one kind: a name chosen without an extension gets "." +
// defaultSuffix, and the question about replacing an existing file is asked about that
// name, the file really written (a dialog that does not add the extension itself has only
// checked the name as typed). Answering No offers the dialog again.
QString save(QWidget *parent, const QString &caption, const QString &dir, const QString &filter,
             const QString &defaultSuffix);

// True when the file does not exist or the user agrees to replace it.
bool confirmReplace(QWidget *parent, const QString &file);

// The name a save writes: "." + suffix added when the name has no extension.
QString withDefaultSuffix(const QString &file, const QString &suffix);

// Test seam: the next dialogs return these names in order (an empty name is a cancel);
// with none queued in test mode a dialog is cancelled. A queued name stands for what the
// user chose in the dialog: a save with a default suffix still adds it and asks its
// question through the message box seam.
void setTestMode(bool on);
void queueFileName(const QString &name);

} // namespace FileDialog
