#include "issue/ui/RadioGroup.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QRadioButton>

TRadioGroup::TRadioGroup(const QString &title, int columns, QWidget *parent)
    : QGroupBox(title, parent), m_group(new QButtonGroup(this)), m_grid(new QGridLayout(this)), m_columns(columns)
{
    m_group->setExclusive(true);
    connect(m_group, &QButtonGroup::idClicked, this, &TRadioGroup::clicked);
}

void TRadioGroup::setItems(const QStringList &items)
{
    qDeleteAll(m_buttons);
    m_buttons.clear();
    // Items fill the columns top to bottom, as the desktop's radio groups do.
    const int rows = (int(items.size()) + m_columns - 1) / qMax(1, m_columns);
    for (int i = 0; i < items.size(); ++i) {
        auto *b = new QRadioButton(items[i], this);
        b->setObjectName(objectName() + QStringLiteral("_%1").arg(i));
        m_group->addButton(b, i);
        m_grid->addWidget(b, rows ? i % rows : 0, rows ? i / rows : 0);
        m_buttons << b;
    }
}

QStringList TRadioGroup::items() const
{
    QStringList out;
    for (auto *b : m_buttons)
        out << b->text();
    return out;
}

int TRadioGroup::itemIndex() const
{
    return m_group->checkedId();
}

void TRadioGroup::setItemIndex(int index)
{
    if (index < 0 || index >= m_buttons.size()) {
        m_group->setExclusive(false);
        for (auto *b : m_buttons)
            b->setChecked(false);
        m_group->setExclusive(true);
        return;
    }
    m_buttons[index]->setChecked(true);
}

QRadioButton *TRadioGroup::button(int index) const
{
    return m_buttons.value(index);
}
