#pragma once
// Lists sort "by Shift-JIS code": texts compare as their code page 932 bytes, with ASCII
// letters compared without regard to case. A key is one 16-bit unit per character (a
// single byte b as b << 8, a double byte as its code), which orders exactly like the
// byte sequences; compute it once per row, then compare keys.
#include <QStringView>

#include <string>

namespace SjisKey {

// Appends the key of the text to out.
void append(QStringView text, std::u16string &out);
std::u16string make(QStringView text);

// <0, 0, >0 like the byte comparison of the two texts.
int compare(QStringView a, QStringView b);

} // namespace SjisKey
