#pragma once
// The mail tab's behaviour: templates, text file and signature insertion, the ruler and the
// line width, the length in the status bar. The widgets belong to the main window's page.
#include <QDateTime>
#include <QObject>
#include <QString>

#include <functional>

class CurrentMagazine;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTextEdit;
class QWidget;

class TComposer : public QObject
{
    Q_OBJECT

public:
    struct Widgets {
        QLineEdit *subjectEdit;
        QComboBox *templateCombo;
        QPushButton *templateButton;
        QLabel *rulerLabel;
        QTextEdit *bodyEdit;
        QWidget *bodyPanel;
        QLabel *StatusPanel; // first panel of the status bar
    };
    // The signature comes from the magazine's row and the "sign" folder of dataDir.
    TComposer(const CurrentMagazine &magazine, const QString &dataDir, const Widgets &w, QWidget *window);

    // Subject and body as stored and sent (body line breaks CR LF).
    QString subject() const;
    QString body() const;
    void setMail(const QString &subject, const QString &body);

    void Button3Click();
    void InsertTextFile();
    void InsertSignature();
    void RichEdit1Change();
    void N34Click();
    void ApplyColumnSize();
    // The line-width dialog; true when it was confirmed and the layout changed.
    bool K1Click();

    // Line width in full-width characters: the ruler and the body's width.
    int ColumnSize = 40;

    // The clock the date and time templates use (tests fix it).
    std::function<QDateTime()> clock = [] { return QDateTime::currentDateTime(); };

private:
    // Inserts at the caret (or fills an empty body); returns the insertion position.
    int insertAtCaret(const QString &text, bool moveCaret);
    void insertFile(const QString &path);

    const CurrentMagazine &m_magazine;
    const QString m_dataDir;
    Widgets m_w;
    QWidget *m_window;
};
