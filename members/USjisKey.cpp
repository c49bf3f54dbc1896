#include "members/USjisKey.h"

#include "store/Codec.h"

#include <QString>

#include <array>
#include <memory>
#include <vector>

namespace SjisKey {
namespace {

// Characters without a code page 932 code sort after every character that has one.
constexpr char16_t kNoCode = 0xFFFF;

using Table = std::array<char16_t, 0x10000>;

// Every character with a code page 932 code, found by decoding every one- and two-byte
// code, is encoded once through the codec (so the key uses exactly the codes written to
// files); each character is followed by a separator byte that never occurs inside a
// double-byte code.
std::unique_ptr<Table> buildTable()
{
    auto table = std::make_unique<Table>();
    table->fill(kNoCode);
    QByteArray codes;
    codes.reserve(60 * 200 * 3 + 512);
    for (int b = 2; b < 0x100; ++b) {
        codes += char(b);
        codes += '\x01';
    }
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (lead >= 0xA0 && lead < 0xE0)
            continue;
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            if (trail == 0x7F)
                continue;
            codes += char(lead);
            codes += char(trail);
            codes += '\x01';
        }
    }
    std::vector<bool> seen(0x10000, false);
    QString chars;
    auto add = [&](char16_t c) {
        if (c <= 1 || seen[c] || (c >= 0xD800 && c <= 0xDFFF) || c == 0xFFFD)
            return;
        seen[c] = true;
        chars += QChar(c);
        chars += QChar(1);
    };
    for (QChar c : Codec::fromCp932(codes))
        add(c.unicode());
    // What Linux keyboards type for a few characters that Windows text holds differently.
    for (char16_t c : {u'\u301C', u'\u2016', u'\u2212', u'\u00A2', u'\u00A3', u'\u00AC'})
        add(c);

    const QByteArray bytes = Codec::toCp932(chars);
    qsizetype pos = 0;
    for (qsizetype i = 0; i < chars.size(); i += 2) {
        const char16_t c = chars.at(i).unicode();
        const qsizetype end = bytes.indexOf('\x01', pos);
        if (end < 0)
            break;
        const QByteArray code = bytes.mid(pos, end - pos);
        pos = end + 1;
        if (code.size() == 1) {
            const auto b = static_cast<unsigned char>(code[0]);
            // "?" also stands for a character without a code; only U+003F is a real "?".
            if (b == '?' && c != u'?')
                continue;
            unsigned char folded = b;
            if (b >= 'a' && b <= 'z')
                folded = static_cast<unsigned char>(b - 'a' + 'A');
            (*table)[c] = char16_t(folded << 8);
        } else if (code.size() == 2) {
            (*table)[c] = char16_t((static_cast<unsigned char>(code[0]) << 8) | static_cast<unsigned char>(code[1]));
        }
    }
    (*table)[0] = 0;
    (*table)[1] = 0x0100;
    return table;
}

const Table &table()
{
    static const std::unique_ptr<Table> t = buildTable();
    return *t;
}

} // namespace

void append(QStringView text, std::u16string &out)
{
    const Table &t = table();
    for (QChar c : text)
        out.push_back(t[c.unicode()]);
}

std::u16string make(QStringView text)
{
    std::u16string out;
    out.reserve(size_t(text.size()));
    append(text, out);
    return out;
}

int compare(QStringView a, QStringView b)
{
    return make(a).compare(make(b));
}

} // namespace SjisKey
