#pragma once
#include <QDialog>

class QLabel;

// "バージョン": the program's name and its version.
class TVerDlg : public QDialog
{
    Q_OBJECT
public:
    explicit TVerDlg(QWidget *parent = nullptr);
    static QString versionLine(int major, int minor, int release, int build);
    QLabel *versionLabel = nullptr;  // Label2
};
