#include "members/UMemberTable.h"

#include "members/UMemberOrder.h"
#include "members/USjisKey.h"
#include "store/MemberSql.h"

#include <QHash>
#include <QLocale>

#include <algorithm>
#include <numeric>

namespace {

QString groupSeparator()
{
    QLocale locale;
    const QString sep = locale.groupSeparator();
    return sep.isEmpty() ? QStringLiteral(",") : sep;
}

// Writes the grouped decimal form into buf (from the end); returns the first position.
int formatGrouped(qint64 value, const QString &sep, char16_t *buf, int size)
{
    int pos = size;
    const bool negative = value < 0;
    quint64 v = negative ? quint64(0) - quint64(value) : quint64(value);
    int digits = 0;
    do {
        if (digits > 0 && digits % 3 == 0)
            for (qsizetype i = sep.size() - 1; i >= 0; --i)
                buf[--pos] = sep.at(i).unicode();
        buf[--pos] = char16_t(u'0' + v % 10);
        v /= 10;
        ++digits;
    } while (v);
    if (negative)
        buf[--pos] = u'-';
    return pos;
}

bool isEightDigits(QStringView s)
{
    if (s.size() != 8)
        return false;
    for (QChar c : s)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    return true;
}

void appendDate(QString &out, QStringView stored)
{
    if (!isEightDigits(stored)) {
        out.append(stored);
        return;
    }
    out.append(stored.mid(0, 4));
    out.append(QLatin1Char('/'));
    out.append(stored.mid(4, 2));
    out.append(QLatin1Char('/'));
    out.append(stored.mid(6, 2));
}

} // namespace

namespace MemberCells {

QString flag(bool on)
{
    return on ? QStringLiteral("ON") : QStringLiteral("OFF");
}

QString count(qint64 value)
{
    char16_t buf[64];
    const int pos = formatGrouped(value, groupSeparator(), buf, 64);
    return QString(reinterpret_cast<const QChar *>(buf + pos), 64 - pos);
}

QString date(QStringView stored)
{
    QString out;
    appendDate(out, stored);
    return out;
}

QString cell(const MemberRecord &m, int field)
{
    switch (field) {
    case MemberOrder::Name: return m.name;
    case MemberOrder::Address: return m.address;
    case MemberOrder::Url: return m.url;
    case MemberOrder::Flag1:
    case MemberOrder::Flag2:
    case MemberOrder::Flag3: return flag(m.flags[size_t(field - MemberOrder::Flag1)]);
    case MemberOrder::Count1:
    case MemberOrder::Count2: return count(m.counts[size_t(field - MemberOrder::Count1)]);
    case MemberOrder::Date1: return date(m.date1.value_or(QString()));
    case MemberOrder::Date2: return date(m.date2.value_or(QString()));
    case MemberOrder::AddDate: return date(m.addDate);
    default: return QString();
    }
}

QStringList cells(const MemberRecord &m, const QList<int> &fields)
{
    QStringList out;
    out.reserve(fields.size());
    for (int f : fields)
        out << cell(m, f);
    return out;
}

} // namespace MemberCells

void MemberTable::clear()
{
    m_rows.clear();
    m_rows.shrink_to_fit();
    m_cells.clear();
    m_cells.shrink_to_fit();
    m_pool = QString();
    m_deadChars = 0;
}

void MemberTable::load(int magIdx)
{
    clear();
    if (magIdx < 0)
        return;
    const QString sep = groupSeparator();
    MemberSql::forEachRow(magIdx, [&](const MemberRowView &r) {
        m_rows.push_back({r.userIdx(), r.sleep(), quint16(m_fields.size()), appendCells(r, sep, nullptr)});
    });
}

int MemberTable::refresh(int magIdx, const QList<int> &userIdxs)
{
    if (userIdxs.isEmpty() || m_rows.empty())
        return 0;
    QHash<int, int> rowOfMember;
    rowOfMember.reserve(qsizetype(m_rows.size()));
    for (size_t i = 0; i < m_rows.size(); ++i)
        rowOfMember.insert(m_rows[i].userIdx, int(i));
    const QString sep = groupSeparator();
    int refreshed = 0;
    MemberSql::forEachRow(magIdx, userIdxs, [&](const MemberRowView &r) {
        const auto it = rowOfMember.constFind(r.userIdx());
        if (it == rowOfMember.constEnd())
            return;
        Row &row = m_rows[size_t(*it)];
        const Row old = row;
        for (quint16 i = 0; i < old.cellCount; ++i)
            m_deadChars += m_cells[old.firstCell + i].length;
        row.sleep = r.sleep();
        row.firstCell = appendCells(r, sep, &old);
        row.cellCount = quint16(m_fields.size());
        ++refreshed;
    });
    compactIfWasteful();
    return refreshed;
}

quint32 MemberTable::appendCells(const MemberRowView &r, const QString &sep, const Row *kept)
{
    const auto first = quint32(m_cells.size());
    const QLatin1String on("ON"), off("OFF");
    char16_t buf[64];
    for (int c = 0; c < int(m_fields.size()); ++c) {
        const int f = m_fields[c];
        if (kept && f >= MemberOrder::FieldCount) {
            // not a field of the member's row (the returned-mail columns): it stays as shown
            const Span shown = c < kept->cellCount ? m_cells[kept->firstCell + quint32(c)] : Span{0, 0};
            m_cells.push_back(shown);
            continue;
        }
        const auto start = quint32(m_pool.size());
        switch (f) {
        case MemberOrder::Name: m_pool.append(r.name()); break;
        case MemberOrder::Address: m_pool.append(r.address()); break;
        case MemberOrder::Url: m_pool.append(r.url()); break;
        case MemberOrder::Flag1:
        case MemberOrder::Flag2:
        case MemberOrder::Flag3: m_pool.append(r.flag(f - MemberOrder::Flag1) ? on : off); break;
        case MemberOrder::Count1:
        case MemberOrder::Count2: {
            const int pos = formatGrouped(r.count(f - MemberOrder::Count1), sep, buf, 64);
            m_pool.append(reinterpret_cast<const QChar *>(buf + pos), 64 - pos);
            break;
        }
        case MemberOrder::Date1: appendDate(m_pool, r.date1()); break;
        case MemberOrder::Date2: appendDate(m_pool, r.date2()); break;
        case MemberOrder::AddDate: appendDate(m_pool, r.addDate()); break;
        default: break;
        }
        m_cells.push_back({start, quint32(m_pool.size()) - start});
    }
    return first;
}

QStringView MemberTable::cellView(int row, int column) const
{
    const Row &r = m_rows[size_t(row)];
    if (column < 0 || column >= r.cellCount)
        return {};
    const Span &s = m_cells[r.firstCell + quint32(column)];
    return QStringView(m_pool).mid(s.start, s.length);
}

int MemberTable::rowOf(int userIdx) const
{
    for (size_t i = 0; i < m_rows.size(); ++i)
        if (m_rows[i].userIdx == userIdx)
            return int(i);
    return -1;
}

quint32 MemberTable::addCells(const QStringList &cells)
{
    const auto first = quint32(m_cells.size());
    for (const QString &c : cells) {
        const auto start = quint32(m_pool.size());
        m_pool.append(c);
        m_cells.push_back({start, quint32(c.size())});
    }
    return first;
}

void MemberTable::appendRow(int userIdx, bool sleep, const QStringList &cells)
{
    m_rows.push_back({userIdx, sleep, quint16(cells.size()), addCells(cells)});
}

void MemberTable::setRow(int row, bool sleep, const QStringList &cells)
{
    Row &r = m_rows[size_t(row)];
    for (quint16 i = 0; i < r.cellCount; ++i)
        m_deadChars += m_cells[r.firstCell + i].length;
    r.sleep = sleep;
    r.cellCount = quint16(cells.size());
    r.firstCell = addCells(cells);
    compactIfWasteful();
}

void MemberTable::setCell(int row, int column, const QString &text)
{
    Row &r = m_rows[size_t(row)];
    if (column < 0 || column >= r.cellCount)
        return;
    Span &s = m_cells[r.firstCell + quint32(column)];
    m_deadChars += s.length;
    s = {quint32(m_pool.size()), quint32(text.size())};
    m_pool.append(text);
    compactIfWasteful();
}

void MemberTable::removeRow(int row)
{
    m_rows.erase(m_rows.begin() + row);
}

void MemberTable::removeRows(const QList<int> &rows)
{
    size_t kept = size_t(rows.isEmpty() ? m_rows.size() : size_t(rows.first()));
    qsizetype next = 0;
    for (size_t i = kept; i < m_rows.size(); ++i) {
        if (next < rows.size() && size_t(rows[next]) == i) {
            ++next;
            continue;
        }
        m_rows[kept++] = m_rows[i];
    }
    m_rows.resize(kept);
}

// Edits append to the shared buffer; once most of it is stale, copy the live cells out.
void MemberTable::compactIfWasteful()
{
    if (m_deadChars < 4096 || m_deadChars * 2 < size_t(m_pool.size()))
        return;
    QString pool;
    pool.reserve(m_pool.size() - qsizetype(m_deadChars));
    std::vector<Span> cells;
    cells.reserve(m_cells.size());
    for (Row &r : m_rows) {
        const auto first = quint32(cells.size());
        for (quint16 i = 0; i < r.cellCount; ++i) {
            const Span s = m_cells[r.firstCell + i];
            cells.push_back({quint32(pool.size()), s.length});
            pool.append(QStringView(m_pool).mid(s.start, s.length));
        }
        r.firstCell = first;
    }
    m_pool = pool;
    m_cells = std::move(cells);
    m_deadChars = 0;
}

std::vector<int> MemberTable::sort(int column, bool descending)
{
    const size_t n = m_rows.size();
    // One key per row, computed before sorting, all in one buffer.
    std::u16string keys;
    keys.reserve(size_t(m_pool.size()) / std::max<size_t>(1, size_t(columnCount())) + n);
    std::vector<quint32> keyStart(n + 1);
    for (size_t i = 0; i < n; ++i) {
        keyStart[i] = quint32(keys.size());
        SjisKey::append(cellView(int(i), column), keys);
    }
    keyStart[n] = quint32(keys.size());
    const char16_t *k = keys.data();
    auto keyOf = [&](quint32 i) {
        return std::u16string_view(k + keyStart[i], keyStart[i + 1] - keyStart[i]);
    };
    std::vector<quint32> order(n);
    std::iota(order.begin(), order.end(), 0u);
    if (descending)
        std::stable_sort(order.begin(), order.end(), [&](quint32 a, quint32 b) { return keyOf(b) < keyOf(a); });
    else
        std::stable_sort(order.begin(), order.end(), [&](quint32 a, quint32 b) { return keyOf(a) < keyOf(b); });
    std::vector<Row> sorted(n);
    std::vector<int> newPos(n);
    for (size_t i = 0; i < n; ++i) {
        sorted[i] = m_rows[order[i]];
        newPos[order[i]] = int(i);
    }
    m_rows = std::move(sorted);
    return newPos;
}

size_t MemberTable::memoryUse() const
{
    return m_rows.capacity() * sizeof(Row) + m_cells.capacity() * sizeof(Span)
         + size_t(m_pool.capacity()) * sizeof(QChar);
}
