#pragma once
// Display settings of the member list: which fields are shown and in which order.
#include "members/UMemberOrder.h"
#include "widgets/FormDialog.h"

class QListWidget;
class QPushButton;

class TDispOptDlg : public FormDialog
{
    Q_OBJECT

public:
    TDispOptDlg(int magIdx, const std::array<QString, 7> &fieldNames, QWidget *parent = nullptr);

    QListWidget *fieldList = nullptr;
    QPushButton *upButton = nullptr;
    QPushButton *downButton = nullptr;
    QPushButton *okButton = nullptr;
    QPushButton *cancelButton = nullptr;

    // The entries as the list holds them now.
    QList<MemberOrder::Entry> entries() const;

public Q_SLOTS:
    void Button3Click();
    void Button4Click();
    void Button1Click();

protected:
    void fillForm() override;

private:
    void moveSelected(int delta);

    int m_magIdx;
    QStringList m_captions;
};
