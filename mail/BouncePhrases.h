#pragma once
// The words mail servers put in plain-text delivery notices, by the kind of server that uses
// them (English and Japanese, the Japanese mobile carriers' notices included), each marked
// hard (the address is gone) or soft (it may pass later). Matched without case; a soft
// phrase wins over a hard one in the same text, since a soft bounce never suspends anybody
// by itself and a wrong hard one would.
#include "mail/BounceSeverity.h"

#include <QList>
#include <QString>

namespace BouncePhrases {

struct Phrase {
    const char *family;  // who writes it, for the reader of this table
    const char *text;    // UTF-8
    BounceSeverity severity;
};

// The whole table, in no particular order.
const QList<Phrase> &table();

// Soft when the text holds a soft phrase, else hard when it holds a hard one, else Unknown.
BounceSeverity severity(const QString &text);

// The notice says delivery is still being tried (a warning, not a failure): every address it
// names is soft whatever the codes quoted in it.
bool isWarning(const QString &text);

} // namespace BouncePhrases
