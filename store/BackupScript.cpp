#include "store/BackupScript.h"

#include "store/Schema.h"
#include "store/Sql.h"

#include <QSqlRecord>
#include <QStringList>
#include <QVariantList>

#include <optional>

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
};

// The five tables and our own that a backup carries, as the gate knows them.
QList<Schema::Table> knownTables()
{
    return Schema::tables() + Schema::carriedTables();
}

QString valueText(const Statement &s, int column)
{
    if (s.isNull(column))
        return QStringLiteral("NULL");
    const QVariant v = s.value(column);
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return QString::number(v.toLongLong());
    case QMetaType::Double:
        return QString::number(v.toDouble(), 'g', 17);
    case QMetaType::QByteArray:
        return Sql::q(QString::fromUtf8(v.toByteArray()));
    default:
        return Sql::q(v.toString());
    }
}

// ---- reading the script back ----------------------------------------------------------

// One of the backup's own statements, read into its parts; table and columns in the
// schema's spelling.
struct Parsed {
    bool isDelete = false;
    QString table;
    QStringList columns;
    QVariantList values; // NULL, integer, real or text
};

class Parser
{
public:
    explicit Parser(const QString &text) : s(text) {}

    std::optional<Parsed> statement()
    {
        Parsed p;
        skip();
        const QString verb = word();
        if (verb.compare(QLatin1String("delete"), Qt::CaseInsensitive) == 0) {
            if (!keyword("from") || !table(p.table))
                return std::nullopt;
            p.isDelete = true;
        } else if (verb.compare(QLatin1String("insert"), Qt::CaseInsensitive) == 0) {
            if (!keyword("into") || !table(p.table) || !punct('('))
                return std::nullopt;
            const QStringList &known = columnsOf(p.table);
            do {
                skip();
                const QString c = word();
                const qsizetype k = indexOf(known, c);
                if (k < 0 || p.columns.contains(known[k]))
                    return std::nullopt;
                p.columns << known[k];
            } while (punct(','));
            if (!punct(')') || !keyword("values") || !punct('('))
                return std::nullopt;
            do {
                QVariant v;
                if (!value(v))
                    return std::nullopt;
                p.values << v;
            } while (punct(','));
            if (!punct(')') || p.values.size() != p.columns.size())
                return std::nullopt;
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
            if (table == QLatin1String(t.name))
                return t.columns;
        static const QStringList none;
        return none;
    }
    static qsizetype indexOf(const QStringList &list, const QString &name)
    {
        for (qsizetype k = 0; k < list.size(); ++k)
            if (list[k].compare(name, Qt::CaseInsensitive) == 0)
                return k;
        return -1;
    }

    void skip()
    {
        while (i < s.size() && (s[i] == QLatin1Char(' ') || s[i] == QLatin1Char('\t') || s[i] == QLatin1Char('\r')
                                || s[i] == QLatin1Char('\n')))
            ++i;
    }
    QString word()
    {
        const qsizetype b = i;
        while (i < s.size() && s[i].unicode() < 0x80 && (s[i].isLetterOrNumber() || s[i] == QLatin1Char('_')))
            ++i;
        return s.mid(b, i - b);
    }
    bool keyword(const char *k)
    {
        skip();
        return word().compare(QLatin1String(k), Qt::CaseInsensitive) == 0;
    }
    bool punct(char c)
    {
        skip();
        if (i < s.size() && s[i] == QLatin1Char(c)) {
            ++i;
            return true;
        }
        return false;
    }
    bool table(QString &name)
    {
        skip();
        const QString w = word();
        static const QList<Schema::Table> known = knownTables();
        for (const Schema::Table &t : known)
            if (w.compare(QLatin1String(t.name), Qt::CaseInsensitive) == 0) {
                name = QLatin1String(t.name);
                return true;
            }
        return false;
    }
    bool value(QVariant &v)
    {
        skip();
        if (i >= s.size())
            return false;
        if (s[i] == QLatin1Char('\'')) {
            QString text = QStringLiteral(""); // an empty text stays text, not NULL
            ++i;
            for (;;) {
                if (i >= s.size())
                    return false;
                if (s[i] == QLatin1Char('\'')) {
                    if (i + 1 < s.size() && s[i + 1] == QLatin1Char('\'')) {
                        text += QLatin1Char('\'');
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                text += s[i++];
            }
            v = text;
            return true;
        }
        if (s[i].isLetter()) {
            if (word().compare(QLatin1String("NULL"), Qt::CaseInsensitive) != 0)
                return false;
            v = QVariant();
            return true;
        }
        // a number: an optional sign, digits, and for a real number a fraction or exponent
        const qsizetype b = i;
        if (s[i] == QLatin1Char('-') || s[i] == QLatin1Char('+'))
            ++i;
        bool real = false;
        while (i < s.size()) {
            const QChar c = s[i];
            if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
                ++i;
            } else if (c == QLatin1Char('.') || c == QLatin1Char('e') || c == QLatin1Char('E')) {
                real = true;
                ++i;
                if (c != QLatin1Char('.') && i < s.size() && (s[i] == QLatin1Char('-') || s[i] == QLatin1Char('+')))
                    ++i;
            } else {
                break;
            }
        }
        const QString number = s.mid(b, i - b);
        bool ok = false;
        if (real) {
            const double d = number.toDouble(&ok);
            v = d;
        } else {
            const qint64 n = number.toLongLong(&ok);
            v = n;
        }
        return ok;
    }

    const QString &s;
    qsizetype i = 0;
};

} // namespace

void write(const std::function<void(const QString &statement)> &statement)
{
    for (const BackupTable &t : kTables) {
        statement(QLatin1String(t.deleteLine));
        Statement s;
        s.open(QLatin1String(t.select));
        const QSqlRecord record = s.query().record();
        QStringList columns;
        for (int i = 0; i < record.count(); ++i)
            columns << record.fieldName(i);
        const QString head = QLatin1String(t.insertHead) + columns.join(QLatin1Char(',')) + QStringLiteral(") values(");
        const int n = int(columns.size());
        while (s.next()) {
            QString line = head;
            for (int i = 0; i < n; ++i) {
                if (i)
                    line += QLatin1Char(',');
                line += valueText(s, i);
            }
            line += QStringLiteral(");");
            if (line.size() > kLongestBackupStatement)
                throw StoreError(QStringLiteral("%1 に長すぎる行があり、バックアップできません。").arg(QLatin1String(t.name)));
            statement(line);
        }
        s.close();
    }
}

bool isStatement(const QString &text)
{
    return Parser(text).statement().has_value();
}

Restore::Restore() = default;

Restore::~Restore() = default;

bool Restore::run(const QString &text)
{
    const std::optional<Parsed> p = Parser(text).statement();
    if (!p)
        return false;
    QString key = p->table;
    if (!p->isDelete)
        key += QLatin1Char('(') + p->columns.join(QLatin1Char(',')) + QLatin1Char(')');
    if (p->isDelete)
        m_emptied.insert(p->table.toLower());
    std::unique_ptr<PreparedStatement> &s = m_statements[key];
    if (!s) {
        if (p->isDelete) {
            s = std::make_unique<PreparedStatement>(QStringLiteral("delete from ") + p->table);
        } else {
            s = std::make_unique<PreparedStatement>(QStringLiteral("insert into ") + key + QStringLiteral(" values(")
                                                    + Sql::marks(p->columns.size()) + QLatin1Char(')'));
        }
    }
    s->bindFrom(0, p->values);
    s->exec();
    return true;
}

void Restore::commit()
{
    // A backup of an older build holds no delivery records or magazine mail settings: its
    // issues are restored as recorded before them, so none is offered for resume on records
    // of another store, and its magazines get the defaults rather than another's settings.
    for (const Schema::Table &t : Schema::carriedTables()) {
        const QString name = QString::fromLatin1(t.name);
        if (t.perMagazine && !m_emptied.contains(name.toLower()))
            PreparedStatement(QStringLiteral("delete from ") + name).exec();
    }
    m_transaction.commit();
}

} // namespace BackupScript
