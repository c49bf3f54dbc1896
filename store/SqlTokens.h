#pragma once
// How a statement's text is read, token by token. This is the one reading of statement
// text in the program: the dialect translation rewrites these tokens, and the check of a
// free condition inspects them, so what a check approves is exactly what the engine is
// given. Where the engine's own reading could differ from this one (names in brackets or
// backticks, comments, an unterminated quote), the token says so.
#include <QString>

#include <vector>

namespace SqlTokens {

enum class Kind {
    Space,   // a run of white space
    Comment, // "--" to the end of the line, or "/*" to "*/"
    Word,    // a run of letters, digits, "_", "." and "$": names, keywords, numbers
    Text,    // a literal between single or between double quotes
    Name,    // a name between [ and ] or between backticks, kept as written
    Punct,   // any other single character
};

struct Token {
    Kind kind;
    QString text;        // exactly as written
    QString value{};     // Text: the value, with a doubled quote read as one
    bool closed = true;  // Text, Name, block Comment: the closing mark was found
};

std::vector<Token> read(const QString &statement);

// The token as the engine is given it: a text literal always single-quoted with inner
// single quotes doubled (a double-quoted one would otherwise be a column name whenever its
// value equals one); an unterminated one stays unterminated, so the engine refuses it
// instead of running a statement nobody wrote. Everything else as written.
QString render(const Token &token);
QString render(const std::vector<Token> &tokens);

bool isWord(const Token &token, const char *word); // a Word, compared without case
bool isPunct(const Token &token, char c);

} // namespace SqlTokens
