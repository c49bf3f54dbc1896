#include "members/CurrentMagazine.h"

#include "members/UMagazineChoice.h"
#include "store/MagazineSql.h"

CurrentMagazine::CurrentMagazine(QObject *parent) : QObject(parent), m_magIdx(MagazineChoice::None) {}

bool CurrentMagazine::isChosen() const
{
    return MagazineChoice::isChosen(m_magIdx);
}

void CurrentMagazine::choose(int magIdx)
{
    const std::optional<MagazineRecord> stored =
        MagazineChoice::isChosen(magIdx) ? MagazineSql::load(magIdx) : std::nullopt;
    if (stored) {
        m_magIdx = magIdx;
        m_name = stored->name;
        m_fieldNames = stored->fieldNames;
        m_sign = stored->sign;
    } else {
        m_magIdx = MagazineChoice::None;
        m_name.clear();
        m_sign.clear();
    }
    Q_EMIT changed();
}
