#include "widgets/FormDialog.h"

void FormDialog::FormShow()
{
    m_formShown = true;
    fillForm();
}

void FormDialog::showEvent(QShowEvent *event)
{
    if (!m_formShown)
        FormShow();
    QDialog::showEvent(event);
}
