#include "store/BackupScript.h"

#include "store/PreparedStatement.h"
#include "store/DepartedMembers.h"
#include "store/MemberNumbers.h"
#include "store/Schema.h"
#include "store/Sql.h"

#include <QStringList>

#include <charconv>
#include <cstring>
#include <optional>
#include <vector>

namespace BackupScript {

namespace {

// The tables in the order the script holds them, with the spelling of each statement.
struct BackupTable {
    const char *name;
    const char *deleteLine;
    const char *select;
    const char *insertHead;
};
const BackupTable kTables[] = {
    {"Magzine", "delete from Magzine;", "select * from Magzine ", "insert into Magzine ("},
    {"CommonTBL", "delete from CommonTBL;", "select * from CommonTBL ", "insert into CommonTBL ("},
    {"MagInfo", "delete from MagInfo;", "select * from MagInfo ", "insert into MagInfo ("},
    {"MagHist", "delete from MagHist;", "select * from MagHist ", "insert into MagHist ("},
    {"MagUser", "delete from Maguser;", "select * from MagUser ", "insert into MagUser ("},
    {"SendState", "delete from SendState;", "select * from SendState ", "insert into SendState ("},
    {"SendSetting", "delete from SendSetting;", "select * from SendSetting ", "insert into SendSetting ("},
    {"MagMailSetting", "delete from MagMailSetting;", "select * from MagMailSetting ", "insert into MagMailSetting ("},
    {"MemberBounce", "delete from MemberBounce;", "select * from MemberBounce ", "insert into MemberBounce ("},
    {"InboxSeen", "delete from InboxSeen;", "select * from InboxSeen ", "insert into InboxSeen ("},
    {"MemberNumber", "delete from MemberNumber;", "select * from MemberNumber ", "insert into MemberNumber ("},
};

// The five tables and our own that a backup carries, as the gate knows them.
QList<Schema::Table> knownTables()
{
    return Schema::tables() + Schema::carriedTables();
}

void appendInteger(QString &out, qint64 value)
{
    char digits[24];
    const std::to_chars_result r = std::to_chars(digits, digits + sizeof digits, value);
    out += QLatin1StringView(digits, r.ptr - digits);
}

void appendValue(QString &out, const EngineStatement &s, int column)
{
    switch (s.kind(column)) {
    case EngineStatement::Kind::Null:
        out += QLatin1StringView("NULL");
        break;
    case EngineStatement::Kind::Integer:
        appendInteger(out, s.integer(column));
        break;
    case EngineStatement::Kind::Real:
        out += QString::number(s.real(column), 'g', 17);
        break;
    case EngineStatement::Kind::Text:
    case EngineStatement::Kind::Bytes:
        Sql::appendQuoted(out, s.text(column));
        break;
    }
}

// Who a row too long to back up belongs to, so that it can be found and shortened: the
// member (magazine, number, address) or the issue.
QString tooLongRowNamed(const char *table, const EngineStatement &s)
{
    const auto column = [&s](const char *name) {
        for (int i = 0; i < s.columnCount(); ++i)
            if (s.columnName(i).compare(QLatin1StringView(name), Qt::CaseInsensitive) == 0)
                return i;
        return -1;
    };
    const auto text = [&](const char *name) {
        const int i = column(name);
        if (i < 0)
            return QString();
        const QStringView v = s.text(i);
        return v.size() > 100 ? v.left(100).toString() + QStringLiteral("…") : v.toString();
    };
    if (qstrcmp(table, "MagUser") == 0)
        return QStringLiteral("(マガジン番号 %1、メンバー番号 %2、アドレス %3)")
            .arg(text("MagIdx"), text("UserIdx"), text("UserAdrs"));
    if (qstrcmp(table, "MagInfo") == 0)
        return QStringLiteral("(マガジン番号 %1、号 %2)").arg(text("MagIdx"), text("MagCnt"));
    return QString();
}

qint64 rowCount(const char *table)
{
    EngineStatement s(QStringLiteral("select count(*) from ") + QLatin1StringView(table));
    return s.next() ? s.integer(0) : 0;
}

// ---- reading the script back ----------------------------------------------------------

// A value of a statement as read: its kind, and where a text lies in the statement.
struct Value {
    enum class Kind : char { Null, Integer, Real, Text, QuotedText } kind = Kind::Null;
    qint64 integer = 0;
    double real = 0;
    qsizetype from = 0; // a text: its characters in the statement, quotes doubled for QuotedText
    qsizetype length = 0;
};

// One of the backup's own statements, read into its parts; table and columns in the
// schema's spelling, the rows' values one after another.
struct Parsed {
    bool isDelete = false;
    QString table;
    QStringList columns;
    std::vector<Value> values;
};

class Parser
{
public:
    explicit Parser(QStringView text) : s(text) {}

    std::optional<Parsed> statement()
    {
        Parsed p;
        skip();
        const QStringView verb = word();
        if (verb.compare(QLatin1StringView("delete"), Qt::CaseInsensitive) == 0) {
            if (!keyword("from") || !table(p.table))
                return std::nullopt;
            p.isDelete = true;
        } else if (verb.compare(QLatin1StringView("insert"), Qt::CaseInsensitive) == 0) {
            if (!keyword("into") || !table(p.table) || !punct('('))
                return std::nullopt;
            const QStringList &known = columnsOf(p.table);
            do {
                skip();
                const qsizetype k = indexOf(known, word());
                if (k < 0 || p.columns.contains(known[k]))
                    return std::nullopt;
                p.columns << known[k];
            } while (punct(','));
            if (!punct(')') || !keyword("values"))
                return std::nullopt;
            const size_t width = size_t(p.columns.size());
            do {
                if (!punct('('))
                    return std::nullopt;
                const size_t first = p.values.size();
                do {
                    Value v;
                    if (!value(v))
                        return std::nullopt;
                    p.values.push_back(v);
                } while (punct(','));
                if (!punct(')') || p.values.size() - first != width)
                    return std::nullopt;
            } while (punct(','));
        } else {
            return std::nullopt;
        }
        if (!punct(';'))
            return std::nullopt;
        skip();
        if (i != s.size())
            return std::nullopt;
        return p;
    }

private:
    static const QStringList &columnsOf(const QString &table)
    {
        static const QList<Schema::Table> known = knownTables();
        for (const Schema::Table &t : known)
            if (table == QLatin1StringView(t.name))
                return t.columns;
        static const QStringList none;
        return none;
    }
    static qsizetype indexOf(const QStringList &list, QStringView name)
    {
        for (qsizetype k = 0; k < list.size(); ++k)
            if (name.compare(list[k], Qt::CaseInsensitive) == 0)
                return k;
        return -1;
    }

    void skip()
    {
        while (i < s.size() && (s[i] == u' ' || s[i] == u'\t' || s[i] == u'\r' || s[i] == u'\n'))
            ++i;
    }
    QStringView word()
    {
        const qsizetype b = i;
        while (i < s.size() && s[i].unicode() < 0x80 && (s[i].isLetterOrNumber() || s[i] == u'_'))
            ++i;
        return s.mid(b, i - b);
    }
    bool keyword(const char *k)
    {
        skip();
        return word().compare(QLatin1StringView(k), Qt::CaseInsensitive) == 0;
    }
    bool punct(char16_t c)
    {
        skip();
        if (i < s.size() && s[i] == c) {
            ++i;
            return true;
        }
        return false;
    }
    bool table(QString &name)
    {
        skip();
        const QStringView w = word();
        static const QList<Schema::Table> known = knownTables();
        for (const Schema::Table &t : known)
            if (w.compare(QLatin1StringView(t.name), Qt::CaseInsensitive) == 0) {
                name = QLatin1StringView(t.name);
                return true;
            }
        return false;
    }
    bool value(Value &v)
    {
        skip();
        if (i >= s.size())
            return false;
        if (s[i] == u'\'') {
            v.kind = Value::Kind::Text;
            v.from = ++i;
            for (;;) {
                const qsizetype q = s.indexOf(u'\'', i);
                if (q < 0)
                    return false;
                if (q + 1 < s.size() && s[q + 1] == u'\'') {
                    v.kind = Value::Kind::QuotedText;
                    i = q + 2;
                    continue;
                }
                v.length = q - v.from;
                i = q + 1;
                return true;
            }
        }
        if (s[i].isLetter()) {
            v.kind = Value::Kind::Null;
            return word().compare(QLatin1StringView("NULL"), Qt::CaseInsensitive) == 0;
        }
        return number(v);
    }
    // An optional sign, digits, and for a real number a fraction or exponent.
    bool number(Value &v)
    {
        const qsizetype b = i;
        bool negative = false;
        if (s[i] == u'-' || s[i] == u'+')
            negative = s[i++] == u'-';
        quint64 magnitude = 0;
        bool overflow = false;
        bool real = false;
        qsizetype digits = 0;
        while (i < s.size()) {
            const char16_t c = s[i].unicode();
            if (c >= u'0' && c <= u'9') {
                ++i;
                ++digits;
                if (magnitude > (~quint64(0) - 9) / 10)
                    overflow = true;
                else
                    magnitude = magnitude * 10 + (c - u'0');
            } else if (c == u'.' || c == u'e' || c == u'E') {
                real = true;
                ++i;
                if (c != u'.' && i < s.size() && (s[i] == u'-' || s[i] == u'+'))
                    ++i;
            } else {
                break;
            }
        }
        if (real) {
            bool ok = false;
            v.kind = Value::Kind::Real;
            v.real = s.mid(b, i - b).toDouble(&ok);
            return ok;
        }
        const quint64 limit = negative ? quint64(1) << 63 : (quint64(1) << 63) - 1;
        if (digits == 0 || overflow || magnitude > limit)
            return false;
        v.kind = Value::Kind::Integer;
        v.integer = negative ? qint64(0 - magnitude) : qint64(magnitude);
        return true;
    }

    QStringView s;
    qsizetype i = 0;
};

// Rows no delivery could ever finish or that name nothing: a state this program never
// writes, an issue that is not there, or a member who is neither in the magazine nor among
// the recipients (a member deleted since stays a recipient, and keeps its row).
const char kRefusedRows[] =
    "delete from SendState where State not in (0, 1, 2, 3, 4, 5, 6, 7)"
    " or not exists (select 1 from MagInfo I where I.MagCnt = SendState.MagCnt and I.MagIdx = SendState.MagIdx)"
    " or (not exists (select 1 from MagUser U where U.MagIdx = SendState.MagIdx and U.UserIdx = SendState.MagUser)"
    " and not exists (select 1 from MagHist H where H.MagIdx = SendState.MagIdx and H.MagCnt = SendState.MagCnt"
    " and H.MagUser = SendState.MagUser))";

// The open rows as a delivery left them when the backup was taken, read through the index
// of open rows (the repeated condition is the index's own).
const char kInterrupted[] = "update SendState set State = 6, NextTry = null, Reply = ?"
                            " where State in (0, 1, 3, 7) and State = 1";
const char kReserved[] = "update SendState set State = case when NextTry is null then 0 else 3 end"
                         " where State in (0, 1, 3, 7) and State = 7";

int changed(const char *sql, const QVariantList &values = {})
{
    PreparedStatement s(QString::fromLatin1(sql));
    s.bindFrom(0, values);
    s.exec();
    return qMax(0, s.rowsAffected());
}

RestoreSettlement settleDeliveryRows()
{
    RestoreSettlement r;
    r.dropped = changed(kRefusedRows);
    r.interrupted = changed(kInterrupted, {QStringLiteral("中断により結果不明")});
    r.reserved = changed(kReserved);
    r.departed = DepartedMembers::settleGone(Store::connection());
    return r;
}

} // namespace

qsizetype rowStatementLength(const QString &table, const QVariantList &values)
{
    qsizetype n = 0;
    for (const Schema::Table &t : knownTables()) {
        if (table.compare(QLatin1StringView(t.name), Qt::CaseInsensitive) != 0)
            continue;
        // "insert into T (a,b) values" as the backup's head, then "(...)" and ";"
        n = qsizetype(std::strlen("insert into ")) + table.size() + 2 + t.columns.join(QLatin1Char(',')).size()
            + qsizetype(std::strlen(" values")) + 3;
        break;
    }
    for (const QVariant &v : values) {
        n += 1; // the comma before it, or for the first value the ";" at the end
        if (v.isNull()) {
            n += 4;
            continue;
        }
        switch (v.typeId()) {
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Bool:
            n += QString::number(v.toLongLong()).size();
            break;
        case QMetaType::Double:
            n += QString::number(v.toDouble(), 'g', 17).size();
            break;
        default: {
            const QString text = v.toString();
            n += 2 + text.size() + text.count(QLatin1Char('\''));
        }
        }
    }
    return n;
}

bool write(const std::function<void(const QString &statement)> &statement, const Progress &progress)
{
    qint64 total = 0;
    if (progress)
        for (const BackupTable &t : kTables)
            total += rowCount(t.name);
    qint64 done = 0;
    QString text;
    QString row;
    for (const BackupTable &t : kTables) {
        statement(QLatin1StringView(t.deleteLine));
        EngineStatement s(QLatin1StringView(t.select));
        const int n = s.columnCount();
        QString head = QLatin1StringView(t.insertHead);
        for (int i = 0; i < n; ++i) {
            if (i)
                head += QLatin1Char(',');
            head += s.columnName(i);
        }
        head += QStringLiteral(") values");
        int rows = 0;
        const auto flush = [&] {
            text += QLatin1Char(';');
            statement(text);
            rows = 0;
            return !progress || progress(done, total);
        };
        while (s.next()) {
            row.clear();
            row += QLatin1Char('(');
            for (int i = 0; i < n; ++i) {
                if (i)
                    row += QLatin1Char(',');
                appendValue(row, s, i);
            }
            row += QLatin1Char(')');
            if (head.size() + row.size() + 1 > kLongestBackupStatement)
                throw StoreError(QStringLiteral("%1 に長すぎる行があり、バックアップできません。").arg(QLatin1StringView(t.name))
                                 + tooLongRowNamed(t.name, s));
            if (rows > 0 && (rows == kBackupRowsPerStatement || text.size() + 1 + row.size() + 1 > kBackupStatementTarget)
                && !flush())
                return false;
            if (rows == 0)
                text = head;
            else
                text += QLatin1Char(',');
            text += row;
            ++rows;
            ++done;
        }
        if (rows > 0 && !flush())
            return false;
    }
    return true;
}

bool isStatement(const QString &text)
{
    return Parser(text).statement().has_value();
}

Restore::Restore() : m_memberNumbers(MemberNumbers::marks()) {}

Restore::~Restore() = default;

bool Restore::run(const QString &text)
{
    const std::optional<Parsed> p = Parser(text).statement();
    if (!p)
        return false;
    QString key = p->table;
    if (p->isDelete)
        m_emptied.insert(p->table.toLower());
    else
        key += QLatin1Char('(') + p->columns.join(QLatin1Char(',')) + QLatin1Char(')');
    std::unique_ptr<EngineStatement> &s = m_statements[key];
    if (!s) {
        const QString sql = p->isDelete ? QString(QStringLiteral("delete from ") + p->table)
                                        : QString(QStringLiteral("insert into ") + key + QStringLiteral(" values(")
                                                  + Sql::marks(p->columns.size()) + QLatin1Char(')'));
        s = std::make_unique<EngineStatement>(sql);
    }
    if (p->isDelete) {
        s->run();
        return true;
    }
    const int width = int(p->columns.size());
    const QStringView all(text);
    int column = 0;
    for (const Value &v : p->values) {
        switch (v.kind) {
        case Value::Kind::Null:
            s->bindNull(column);
            break;
        case Value::Kind::Integer:
            s->bindInteger(column, v.integer);
            break;
        case Value::Kind::Real:
            s->bindReal(column, v.real);
            break;
        case Value::Kind::Text:
            s->bindText(column, all.mid(v.from, v.length));
            break;
        case Value::Kind::QuotedText:
            s->bindTextCopy(column, all.mid(v.from, v.length).toString().replace(QStringLiteral("''"), QStringLiteral("'")));
            break;
        }
        if (++column == width) {
            s->run();
            column = 0;
        }
    }
    return true;
}

RestoreSettlement Restore::commit()
{
    // A backup of an older build holds no delivery records or magazine mail settings: its
    // issues are restored as recorded before them, so none is offered for resume on records
    // of another store, and its magazines get the defaults rather than another's settings.
    for (const Schema::Table &t : Schema::carriedTables()) {
        const QString name = QString::fromLatin1(t.name);
        if (t.perMagazine && !m_emptied.contains(name.toLower()))
            EngineStatement(QStringLiteral("delete from ") + name).run();
    }
    m_statements.clear();
    const RestoreSettlement settled = settleDeliveryRows();
    MemberNumbers::raiseAfterRestore(m_memberNumbers, m_emptied.contains(QStringLiteral("membernumber")));
    m_transaction.commit();
    return settled;
}

} // namespace BackupScript
