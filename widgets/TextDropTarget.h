#pragma once
// Makes a widget accept text dropped on it (plain text, as a copy or a link) and hands the
// text on; the widget's own drag handling is not involved.
#include <QObject>
#include <QString>

class QWidget;

class TextDropTarget : public QObject
{
    Q_OBJECT

public:
    // Watches the widget (for a list, its viewport) for as long as the widget lives.
    explicit TextDropTarget(QWidget *widget);

Q_SIGNALS:
    void dropped(const QString &text);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};
