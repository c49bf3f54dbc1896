#pragma once
// A dialog whose fields are filled by FormShow when it is first shown. A caller that needs
// them filled before that (to read or change them first) runs FormShow itself; the show
// then leaves them as they are, and so does every later show of the same dialog.
#include <QDialog>

class FormDialog : public QDialog
{
    Q_OBJECT

public:
    using QDialog::QDialog;

public Q_SLOTS:
    void FormShow();

protected:
    // What FormShow does; runs at most once unless the caller runs FormShow again.
    virtual void fillForm() = 0;
    void showEvent(QShowEvent *event) override;

private:
    bool m_formShown = false;
};
