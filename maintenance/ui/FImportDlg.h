#pragma once
// The import dialog: which member fields the file holds, in which column order, whether
// the first line is a heading and whether lines with a known address replace the member.
#include "maintenance/UImport.h"

#include <QDialog>

#include <array>

class QCheckBox;
class QLabel;
class QListWidget;
class QPushButton;

class TImportDlg : public QDialog
{
    Q_OBJECT

public:
    // fieldNames: the magazine's seven field names (flags, counters, dates).
    explicit TImportDlg(const std::array<QString, 7> &fieldNames, QWidget *parent = nullptr);

    // Valid after OK.
    ImportSettings settings() const { return m_settings; }

    QLabel *orderLabel = nullptr;
    QListWidget *columnList = nullptr;
    QCheckBox *headingCheck = nullptr;
    QCheckBox *replaceCheck = nullptr;
    QPushButton *okButton = nullptr;
    QPushButton *cancelButton = nullptr;
    QPushButton *upButton = nullptr;
    QPushButton *downButton = nullptr;

public Q_SLOTS:
    void Button1Click();
    void Button3Click();
    void Button4Click();

private:
    void swapRows(int a, int b);

    QStringList m_captions;
    ImportSettings m_settings;
};
