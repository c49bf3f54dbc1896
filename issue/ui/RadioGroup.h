#pragma once
// A titled group of radio buttons in columns whose items can be replaced; no item is
// selected after the items change (itemIndex -1).
#include <QGroupBox>
#include <QStringList>

class QButtonGroup;
class QGridLayout;
class QRadioButton;

class TRadioGroup : public QGroupBox
{
    Q_OBJECT

public:
    TRadioGroup(const QString &title, int columns, QWidget *parent = nullptr);

    void setItems(const QStringList &items);
    QStringList items() const;
    int itemIndex() const;
    void setItemIndex(int index);
    QRadioButton *button(int index) const;

Q_SIGNALS:
    // The user chose an item (setItemIndex does not signal).
    void clicked(int index);

private:
    QButtonGroup *m_group;
    QGridLayout *m_grid;
    QList<QRadioButton *> m_buttons;
    int m_columns;
};
