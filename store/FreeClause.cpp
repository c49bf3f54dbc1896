#include "store/FreeClause.h"

#include "store/SqlTokens.h"

namespace {

QString problemOf(const SqlTokens::Token &t, int &depth)
{
    using SqlTokens::Kind;
    for (const QChar c : t.text) {
        // the engine stops reading at a NUL, so the rest of the statement would be lost
        if (c.unicode() < 0x20 && c != u'\t' && c != u'\r' && c != u'\n')
            return QStringLiteral("条件式に制御文字は使えません。");
    }
    switch (t.kind) {
    case Kind::Space: return {};
    case Kind::Comment: return QStringLiteral("条件式に注釈は書けません。");
    case Kind::Name: return QStringLiteral("条件式に [ ] や ` は使えません。");
    case Kind::Text: return t.closed ? QString() : QStringLiteral("引用符が閉じられていません。");
    case Kind::Word:
        // "$name(...)" is one parameter to the engine, parentheses included
        return t.text.contains(u'$') ? QStringLiteral("条件式に「$」は使えません。") : QString();
    case Kind::Punct: break;
    }
    const QChar c = t.text.at(0);
    if (c == u']')
        return QStringLiteral("条件式に [ ] や ` は使えません。");
    if (c == u';')
        return QStringLiteral("条件式は一つの式で書いてください。");
    // A mark would also take one of the values bound to the statement around the clause.
    if (c == u'?' || c == u':' || c == u'@' || c == u'#')
        return QStringLiteral("条件式に「%1」は使えません。").arg(c);
    if (c == u'(')
        ++depth;
    else if (c == u')' && --depth < 0)
        return QStringLiteral("括弧の対応が正しくありません。");
    return {};
}

} // namespace

FreeClause FreeClause::read(const QString &clause)
{
    const std::vector<SqlTokens::Token> tokens = SqlTokens::read(clause);
    int depth = 0;
    for (const SqlTokens::Token &t : tokens) {
        const QString problem = problemOf(t, depth);
        if (!problem.isEmpty())
            return {QString(), problem};
    }
    if (depth != 0)
        return {QString(), QStringLiteral("括弧の対応が正しくありません。")};
    return {SqlTokens::render(tokens), QString()};
}
