#include "engine/literal_parameters.h"

#include <array>
#include <cctype>
#include <string_view>

namespace calyra::engine {
namespace {

// A table rather than std::isalnum: this runs over every byte of every
// statement, and the locale-aware call showed in the import's profile.
constexpr auto kIdentifierChars = [] {
    std::array<bool, 256> table{};
    for (int c = 0; c < 256; ++c)
        table[c] = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '$';
    return table;
}();

bool IsIdentifierChar(char c) { return kIdentifierChars[static_cast<unsigned char>(c)]; }

// Characters that may start something a shape cares about: quotes,
// comments, parameters. Everything else (names, numbers, blanks, commas,
// operators) is passed over with one look-up per character, as most of a
// statement is; what a name changes is found from the character before.
constexpr auto kSpecialChars = [] {
    std::array<bool, 256> table{};
    for (unsigned char c : std::string_view("'\"`[-/?:@$")) table[c] = true;
    return table;
}();

// Where the quoted run starting at `i` (at its opening quote) ends: one past
// its closing quote; a doubled closing quote is part of the text. npos when
// it is left open.
size_t QuotedEnd(std::string_view sql, size_t i, char close) {
    // find rather than a loop over every character: quoted names and values
    // are most of a statement's bytes.
    for (size_t j = sql.find(close, i + 1); j != std::string_view::npos; j = sql.find(close, j + 2)) {
        if (close == ']' || j + 1 == sql.size() || sql[j + 1] != close) return j + 1;
    }
    return std::string_view::npos;
}

// The first word of the statement, after blanks and comments, as written.
std::string_view FirstWord(std::string_view sql) {
    size_t i = 0;
    while (i < sql.size()) {
        if (std::isspace(static_cast<unsigned char>(sql[i]))) {
            ++i;
        } else if (sql.substr(i, 2) == "--") {
            i = sql.find('\n', i);
        } else if (sql.substr(i, 2) == "/*") {
            i = sql.find("*/", i + 2);
            if (i != std::string_view::npos) i += 2;
        } else {
            break;
        }
    }
    if (i >= sql.size()) return {};
    size_t end = i;
    while (end < sql.size() && IsIdentifierChar(sql[end])) ++end;
    return sql.substr(i, end - i);
}

// Whether `word` is `upper` in any case; `upper` is in capitals.
bool SameWord(std::string_view word, std::string_view upper) {
    if (word.size() != upper.size()) return false;
    for (size_t i = 0; i < word.size(); ++i) {
        const char c = word[i];  // ASCII: keywords are; std::toupper asks the locale per call
        if ((c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c) != upper[i]) return false;
    }
    return true;
}

}  // namespace

bool ShapeOfStatement(std::string_view sql, std::string& shape, std::vector<std::string_view>& values,
                      std::string& unquoted) {
    shape.clear();
    values.clear();
    unquoted.clear();
    static constexpr std::array<std::string_view, 11> kShaped = {"SELECT",   "INSERT",    "UPDATE", "DELETE",
                                                                 "REPLACE",  "BEGIN",     "COMMIT", "END",
                                                                 "ROLLBACK", "SAVEPOINT", "RELEASE"};
    const std::string_view first = FirstWord(sql);
    bool shaped = false;
    for (auto kind : kShaped) shaped = shaped || SameWord(first, kind);
    if (!shaped) return false;

    shape.reserve(sql.size());
    size_t copied = 0;  // sql[copied, i) is still to be copied into shape
    const size_t size = sql.size();
    for (size_t i = 0; i < size;) {
        while (i < size && !kSpecialChars[static_cast<unsigned char>(sql[i])]) ++i;
        if (i == size) break;
        const char c = sql[i];
        // A name ending just before (or running on past a "$") holds this
        // character; only a lone x or X makes a quote a blob's.
        const bool afterName = i > 0 && IsIdentifierChar(sql[i - 1]);
        size_t end = i + 1;
        if (c == '\'' && afterName && (sql[i - 1] == 'x' || sql[i - 1] == 'X') &&
            (i < 2 || !IsIdentifierChar(sql[i - 2]))) {
            end = QuotedEnd(sql, i, '\'');  // a blob keeps its place in the text
            if (end == std::string_view::npos) return false;
        } else if (c == '\'') {
            shape.append(sql, copied, i - copied);
            shape += '?';
            size_t quote = sql.find('\'', i + 1);
            if (quote == std::string_view::npos) return false;
            if (quote + 1 == size || sql[quote + 1] != '\'') {
                values.push_back(sql.substr(i + 1, quote - i - 1));  // the common case: the value as written
            } else {
                // Each '' is one quote. Never longer than the text, so the
                // views already taken into `unquoted` stay where they are.
                if (unquoted.capacity() < size) unquoted.reserve(size);
                const size_t from = unquoted.size();
                for (size_t j = i + 1;;) {
                    unquoted.append(sql, j, quote - j);
                    if (quote + 1 == size || sql[quote + 1] != '\'') break;
                    unquoted += '\'';
                    j = quote + 2;
                    quote = sql.find('\'', j);
                    if (quote == std::string_view::npos) return false;
                }
                values.emplace_back(unquoted.data() + from, unquoted.size() - from);
            }
            end = quote + 1;
            copied = end;
        } else if (c == '"' || c == '`' || c == '[') {
            end = QuotedEnd(sql, i, c == '[' ? ']' : c);
            if (end == std::string_view::npos) return false;
        } else if (c == '-' && sql.substr(i, 2) == "--") {
            end = sql.find('\n', i);
            if (end == std::string_view::npos) end = size;
        } else if (c == '/' && sql.substr(i, 2) == "/*") {
            end = sql.find("*/", i + 2);
            end = end == std::string_view::npos ? size : end + 2;
        } else if (c == '$' && afterName) {
            // Part of the name before it.
        } else if (c == '?' || c == ':' || c == '@' || c == '$') {
            // A parameter of the text's own: its shape would be the shape
            // of a text with a literal there.
            return false;
        }
        i = end;
    }
    shape.append(sql, copied, sql.size() - copied);
    return true;
}

}  // namespace calyra::engine
