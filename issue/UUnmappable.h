#pragma once
// Characters of a mail's texts that no mail can carry (a lone surrogate: half of a pair, no
// character at all): the mail has "?" in their place, so the send tells the user which ones
// and where before anything is recorded. Everything else is sent, as UTF-8 where
// ISO-2022-JP cannot say it.
#include <QList>
#include <QString>

struct MailTexts {
    QString subject;
    QString body;   // lines end in CR LF or LF
    QString owner;  // the magazine's sender name (発行者名)
    QString atena;  // the magazine's salutation (メール宛名)
};

struct UnmappableChar {
    QString field;      // 件名, 本文, 発行者名, メール宛名
    QString character;  // one character (a surrogate pair stays whole)
    int line = 0;       // 1-based line of the body; 0 for the one-line fields
    int column = 0;     // 1-based character position within the line (or the field)
};

// Every such character, field by field in the order above, in text order; at most limit of
// them (the count of all is in *total when given).
QList<UnmappableChar> FindUnmappable(const MailTexts &texts, int limit = 10, int *total = nullptr);

// The question shown before a send: the characters and where they are, one to a line
// ("件名: 😀 (3文字目)", "本文: 😀 (2行目 5文字目)"), and whether to send anyway.
QString UnmappableQuestion(const QList<UnmappableChar> &found, int total);

// Reads the magazine's sender name and salutation (empty when there is no such magazine).
void ReadMagazineTexts(int magIdx, MailTexts *texts);
