// The line syntax that vCard and iCalendar share (RFC 2425, RFC 6350
// section 3, RFC 5545 section 3.1): physical lines unfolded into content
// lines "group.NAME;PARAM=a,b;FLAG:value", parameters with quoted values
// and RFC 6868 caret escapes, the bare parameters of vCard 2.1
// ("TEL;WORK;FAX:"), backslash escaping of text values, and folding on
// output at 75 octets without splitting a UTF-8 sequence.
//
// Ownership: ContentLineReader keeps a view of the text it was given; the
// text must outlive it. Thread-safety: one thread per reader; the free
// functions are pure.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace calyra::interchange {

struct LineParam {
    std::string name;                 // upper case: "TYPE", "ENCODING", "CHARSET"
    std::vector<std::string> values;  // unquoted; TYPE values in lower case
};

struct ContentLine {
    size_t line = 0;  // 1-based number of the first physical line
    std::string group;
    std::string name;  // upper case
    std::vector<LineParam> params;
    std::string value;  // as written: still escaped and encoded

    // The values of every parameter called `name` (upper case), in order.
    std::vector<std::string> param(std::string_view name) const;
    bool hasParam(std::string_view name) const;
    // True when a TYPE value equals `type` (lower case).
    bool hasType(std::string_view type) const;
};

// One unfolded line and where it began.
struct LogicalLine {
    size_t line = 0;
    std::string text;
};

class ContentLineReader {
public:
    explicit ContentLineReader(std::string_view text);

    // The next non-blank logical line, continuation lines (starting with a
    // space or tab) joined. `keepFoldSpace` keeps that leading blank, as
    // vCard 2.1 folding does; later versions drop it.
    std::optional<LogicalLine> next(bool keepFoldSpace = false);
    // Appends the next physical line (with its own folds) to `line` as it
    // is, for values that continue after a quoted-printable soft break.
    // False at the end of the text.
    bool continueWithNextLine(LogicalLine& line);
    // The next physical line without consuming it; nullopt at the end.
    std::optional<std::string_view> peek() const;
    // Number of the next physical line (1-based).
    size_t lineNumber() const { return m_index + 1; }

    // Offset in the text of the next physical line.
    size_t offset() const { return m_pos; }

private:
    // The physical line that starts at `pos` and where the one after it
    // starts; false at the end of the text. Lines end with CR LF, CR or LF.
    bool lineAt(size_t pos, std::string_view* line, size_t* after) const;
    // Whether the physical line at `pos` continues the one before it.
    bool isContinuationAt(size_t pos) const;

    // Lines are found as they are read, so a reader holds no index of a
    // whole file (a gigabyte of short lines would need hundreds of MB).
    std::string_view m_text;
    size_t m_pos = 0;    // where the next physical line starts
    size_t m_index = 0;  // number of physical lines read
};

// Splits a logical line into group, name, parameters and value. On failure
// returns false and says why in `error`.
bool ParseContentLine(const LogicalLine& logical, ContentLine* out, std::string* error);

// Splits a value at unescaped `separator` characters (';' for structured
// values such as N and ADR, ',' for lists such as CATEGORIES). The parts
// are still escaped.
std::vector<std::string> SplitEscaped(std::string_view value, char separator);
// Undoes text escaping: "\n" and "\N" -> line feed, "\\" "\;" "\," "\:" ->
// the character. Other backslashes stay.
std::string UnescapeText(std::string_view value);
// Escapes text for a value: backslash, line breaks, ';' and ','.
std::string EscapeText(std::string_view text);
// A parameter value in double quotes, with RFC 6868 caret escapes for line
// breaks, double quotes and carets, so that no text can end the line or the
// quotes early.
std::string QuoteParamValue(std::string_view value);

// ASCII letters in upper case, every other byte as it is: names and
// keywords are compared this way, never the values' own text.
std::string AsciiUpper(std::string_view text);
// Without the spaces and tabs at either end.
std::string_view TrimBlanks(std::string_view text);

// Folds one content line (without its line break) at 75 octets, never
// inside a UTF-8 sequence, and ends every physical line with CRLF.
std::string FoldLine(std::string_view line);

}  // namespace calyra::interchange
