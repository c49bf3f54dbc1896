#pragma once
// The field of our own that every delivery mail carries beside List-Unsubscribe:
//   X-Tsubame-Token: TOKEN
// with the member's signed token (a mail to hidden recipients: the magazine's token). Mail
// servers return it with the original in their delivery reports and complaints, where it
// names whose mail came back whatever the report's own wording.
#include <QByteArray>

namespace TokenField {

inline constexpr char kName[] = "X-Tsubame-Token";

// The field line ending in CR LF; empty without a key.
QByteArray member(const QByteArray &key, int magIdx, int userIdx);
QByteArray batch(const QByteArray &key, int magIdx);

} // namespace TokenField
