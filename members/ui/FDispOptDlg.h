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
    QPushButton *upButton = nullptr;  // 上へ
    QPushButton *downButton = nullptr;  // 下へ
    QPushButton *okButton = nullptr;  // OK
    QPushButton *cancelButton = nullptr;  // キャンセル

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
