#pragma once
// Most commands work on the selected magazine. Whether one is selected, and the one text
// that says it is not, are here so the window, its pages and the send check agree.
#include <QString>

namespace MagazineChoice {

// The index the window holds while no magazine is selected.
inline constexpr int None = -1;

inline bool isChosen(int magIdx)
{
    return magIdx != None;
}

// The warning a command gives when it needs a magazine and none is selected.
QString missingText();

} // namespace MagazineChoice
