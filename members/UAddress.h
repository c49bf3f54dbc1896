#pragma once
// Reading and checking mail addresses typed, pasted, dropped or imported by the user. Plain
// text in, plain values out: the member dialog, the import, the address check, the member
// list's drop target and the delivery worker all use these.
#include <QString>

// True when the whole text is one plain address (IsPlainAddress: the form the SMTP session
// also requires) whose domain ends in a label of letters, in either case. No blank, comma,
// angle bracket, quote or control character anywhere, so the text can go into a mail
// envelope or header as it is without adding a recipient or a parameter. Dots may repeat
// or end the local part (older Japanese mobile addresses do); quoted local parts and
// address literals are not taken. At most 64 characters before the "@" and 254 in all.
bool IsValidAddress(const QString &text);

// What dropped or pasted text holds: an address when one can be read out of it, else the
// whole text as a name. At most one of the two is non-empty.
struct AddressText {
    QString name;
    QString address;
};
AddressText ParseAddressText(const QString &text);
