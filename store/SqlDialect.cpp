#include "store/SqlDialect.h"

#include "store/SqlTokens.h"

#include <QStringList>

#include <vector>

namespace SqlDialect {
namespace {

using SqlTokens::Kind;
using SqlTokens::Token;

bool is(const Token &t, const char *word)
{
    return SqlTokens::isWord(t, word);
}

// Indexes of the non-space tokens, so the patterns below can look at words in order.
std::vector<size_t> significant(const std::vector<Token> &toks)
{
    std::vector<size_t> idx;
    for (size_t i = 0; i < toks.size(); ++i)
        if (toks[i].kind != Kind::Space && toks[i].kind != Kind::Comment)
            idx.push_back(i);
    return idx;
}

bool isClauseWord(const Token &t)
{
    static const char *words[] = {"where", "set", "as", "order", "group", "limit", "returning"};
    for (const char *w : words)
        if (is(t, w))
            return true;
    return false;
}

// "delete from T X ..." and "update T X set ...": put AS before X.
void aliasWithAs(std::vector<Token> &toks)
{
    const auto sig = significant(toks);
    size_t aliasPos = 0;
    if (sig.size() >= 4 && is(toks[sig[0]], "delete") && is(toks[sig[1]], "from")
        && toks[sig[2]].kind == Kind::Word && toks[sig[3]].kind == Kind::Word && !isClauseWord(toks[sig[3]])) {
        aliasPos = sig[3];
    } else if (sig.size() >= 4 && is(toks[sig[0]], "update") && toks[sig[1]].kind == Kind::Word
               && toks[sig[2]].kind == Kind::Word && !isClauseWord(toks[sig[2]]) && is(toks[sig[3]], "set")) {
        aliasPos = sig[2];
    }
    if (aliasPos)
    {
        const std::vector<Token> as = {{Kind::Word, QStringLiteral("AS")}, {Kind::Space, QStringLiteral(" ")}};
        toks.insert(toks.begin() + aliasPos, as.begin(), as.end());
    }
}

// "insert into T select ... as A, ... as B from ...": name the target columns.
void nameInsertSelectColumns(std::vector<Token> &toks)
{
    const auto sig = significant(toks);
    if (sig.size() < 5 || !is(toks[sig[0]], "insert") || !is(toks[sig[1]], "into") || toks[sig[2]].kind != Kind::Word
        || !is(toks[sig[3]], "select"))
        return;
    // Split the select list at top-level commas, up to the top-level "from".
    std::vector<std::vector<const Token *>> items(1);
    int depth = 0;
    bool ended = false;
    for (size_t k = 4; k < sig.size(); ++k) {
        const Token &t = toks[sig[k]];
        if (SqlTokens::isPunct(t, '('))
            ++depth;
        else if (SqlTokens::isPunct(t, ')'))
            --depth;
        else if (depth == 0 && is(t, "from")) {
            ended = true;
            break;
        } else if (depth == 0 && SqlTokens::isPunct(t, ',')) {
            items.emplace_back();
            continue;
        }
        items.back().push_back(&t);
    }
    if (!ended)
        return;
    QStringList names;
    for (const auto &item : items) {
        if (item.empty() || item.back()->kind != Kind::Word)
            return;
        const bool aliased = item.size() >= 2 && is(*item[item.size() - 2], "as");
        // without an alias only a plain column reference names itself (U.UserIdx -> UserIdx)
        if (!aliased && item.size() != 1)
            return;
        names << item.back()->text.section(QLatin1Char('.'), -1);
    }
    const std::vector<Token> columns = {{Kind::Punct, QLatin1Char('(') + names.join(QLatin1Char(',')) + QLatin1Char(')')},
                                        {Kind::Space, QStringLiteral(" ")}};
    toks.insert(toks.begin() + sig[3], columns.begin(), columns.end());
}

} // namespace

QString translate(const QString &statement)
{
    auto toks = SqlTokens::read(statement);
    aliasWithAs(toks);
    nameInsertSelectColumns(toks);
    return SqlTokens::render(toks);
}

} // namespace SqlDialect
