#pragma once
// Comma-separated member files: splitting a line into fields, the value rules of the
// import, and the quoting of the export, which the splitter undoes.
#include <QDate>
#include <QString>
#include <QStringList>

// The fields of one line. A field before a "," is trimmed of blanks and control
// characters; the last field of the line is kept as it is. A field that begins with a
// double quote runs on over commas until its closing quote (or the end of the line); its
// quotes are dropped and a doubled quote inside it reads as one. Two commas in a row give
// an empty field; a comma at the end of the line adds none.
QStringList SplitCsvLine(const QString &line);

// A flag field: "1" when the field is exactly "1", otherwise "0".
QString ToFlagValue(const QString &field);

// A counter field: the field without its "," separators when it holds a digit, else "0".
// *isNumber tells whether that text is a whole number that fits a counter (32 bits); a
// field such as "12件" holds a digit but is no number, and the import stops there.
QString ToCountValue(const QString &field, bool *isNumber = nullptr);

// A date field, as the "yyyymmdd" text to store. A field holding year/month/day with a
// four-digit year is read as that date ("2008/3/5" gives "20080305"); when it is no valid
// date its "/" are dropped ("2008/02/30" gives "20080230"). Eight digits, as the export
// writes dates, are taken unchanged. Anything else gives today.
QString ToDateValue(const QString &field, const QDate &today);

// A value as the export writes it: between double quotes, inner double quotes doubled.
QString CsvQuote(const QString &value);
