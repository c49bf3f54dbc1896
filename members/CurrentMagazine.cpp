#include "members/CurrentMagazine.h"

#include "members/UMagazineChoice.h"

CurrentMagazine::CurrentMagazine(QObject *parent) : QObject(parent), m_magIdx(MagazineChoice::None) {}

bool CurrentMagazine::isChosen() const
{
    return MagazineChoice::isChosen(m_magIdx);
}

void CurrentMagazine::choose(int magIdx)
{
    m_magIdx = magIdx;
    if (!MagazineChoice::isChosen(magIdx))
        m_sign.clear();
    Q_EMIT changed();
}

void CurrentMagazine::setTexts(const FieldNames &fieldNames, const QString &sign)
{
    m_fieldNames = fieldNames;
    m_sign = sign;
    Q_EMIT changed();
}
