#pragma once
// The signature editor: plain text files in the data folder's "sign" subfolder.
#include <QDialog>

class QLabel;
class QMenuBar;
class QPlainTextEdit;
class QToolButton;

class TSignDlg : public QDialog
{
    Q_OBJECT

public:
    explicit TSignDlg(const QString &dataDir, QWidget *parent = nullptr);

    // The signature being edited, without folder; empty for a new one.
    QString SignFileName;

    void FormShow();
    void Open1Click();
    void SaveAs1Click();
    void Save1Click();
    void Close1Click();

    QMenuBar *commandMenuBar;
    QToolButton *openButton;
    QToolButton *saveButton;
    QToolButton *closeButton;
    QLabel *FileNameBand; // third band of the tool bar: the file's name
    QPlainTextEdit *textMemo;

protected:
    void showEvent(QShowEvent *event) override;

private:
    QString signFolder() const;
    // The file of a signature name; for a name that is no bare file name, an error box and "".
    QString fileOf(const QString &name);
    bool writeTo(const QString &name);
    QString m_dataDir;
};
