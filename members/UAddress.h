#pragma once
// Reading and checking mail addresses typed, pasted or dropped by the user. Plain text in,
// plain values out: the member dialog, the member list's drop target and the delivery
// worker all use these.
#include <QString>

// True when something shaped like an address (local part, "@", dot-separated domain
// labels ending in letters) appears anywhere in the text, in either case. The match is
// not anchored, so "Name <a@b.jp>" passes.
bool IsValidAddress(const QString &text);

// True when every character of the text is a single byte in code page 932; a full-width
// or other double-byte character, or one without any code there, makes it false.
bool IsSingleByteText(const QString &text);

// What dropped or pasted text holds: an address when one can be read out of it, else the
// whole text as a name. At most one of the two is non-empty.
struct AddressText {
    QString name;
    QString address;
};
AddressText ParseAddressText(const QString &text);
