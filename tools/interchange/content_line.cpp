#include "interchange/content_line.h"

#include <algorithm>
#include <cctype>

#include "interchange/text_encoding.h"

namespace calyra::interchange {
namespace {

// ASCII by hand rather than <cctype>: these run over every line of a
// file, where a library call a byte showed in an import's profile (the
// program keeps the "C" locale, so the calls meant ASCII too).
bool IsNameChar(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' || c == '_';
}

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// RFC 6868: ^n is a line break, ^' a double quote, ^^ a caret.
std::string DecodeCaret(std::string_view v) {
    std::string out;
    for (size_t i = 0; i < v.size(); ++i) {
        if (v[i] == '^' && i + 1 < v.size() && (v[i + 1] == 'n' || v[i + 1] == '\'' || v[i + 1] == '^')) {
            out += v[i + 1] == 'n' ? '\n' : v[i + 1] == '\'' ? '"' : '^';
            ++i;
        } else {
            out += v[i];
        }
    }
    return out;
}

bool IsEncodingToken(const std::string& upper) {
    return upper == "QUOTED-PRINTABLE" || upper == "BASE64" || upper == "8BIT" || upper == "7BIT";
}

bool IsBlank(std::string_view line) { return TrimBlanks(line).empty(); }

// The types a TYPE value lists, each trimmed and in lower case; a bare
// 2.1 type ("TEL;WORK,VOICE:") reads the same way.
void AddTypes(std::string_view value, std::vector<std::string>* types) {
    size_t from = 0;
    while (from <= value.size()) {
        const size_t comma = std::min(value.find(',', from), value.size());
        std::string one = Lower(TrimBlanks(value.substr(from, comma - from)));
        if (!one.empty()) types->push_back(std::move(one));
        from = comma + 1;
    }
}

// A zero byte ends a text wherever it is kept, so no parameter name or
// value holds one. Dropped before the blanks are trimmed, so that "\0 x"
// reads as "x" the first time as it will the next.
std::string WithoutZeroBytes(std::string_view s) {
    std::string out(s);
    if (s.find('\0') == std::string_view::npos) return out;
    out.erase(std::remove(out.begin(), out.end(), '\0'), out.end());
    return out;
}

}  // namespace

std::string AsciiUpper(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

std::vector<std::string> ContentLine::param(std::string_view wanted) const {
    std::vector<std::string> out;
    for (const auto& p : params)
        if (p.name == wanted) out.insert(out.end(), p.values.begin(), p.values.end());
    return out;
}

bool ContentLine::hasParam(std::string_view wanted) const {
    for (const auto& p : params)
        if (p.name == wanted) return true;
    return false;
}

bool ContentLine::hasType(std::string_view type) const {
    for (const auto& p : params)
        if (p.name == "TYPE")
            for (const auto& v : p.values)
                if (v == type) return true;
    return false;
}

ContentLineReader::ContentLineReader(std::string_view text) : m_text(text) {}

bool ContentLineReader::lineAt(size_t pos, std::string_view* line, size_t* after) const {
    if (pos >= m_text.size()) return false;
    size_t end = pos;
    while (end < m_text.size() && m_text[end] != '\r' && m_text[end] != '\n') ++end;
    *line = m_text.substr(pos, end - pos);
    const bool crlf = end + 1 < m_text.size() && m_text[end] == '\r' && m_text[end + 1] == '\n';
    *after = std::min(m_text.size(), end + (crlf ? 2 : 1));  // a last line may have no line break
    return true;
}

bool ContentLineReader::isContinuationAt(size_t pos) const {
    return pos < m_text.size() && (m_text[pos] == ' ' || m_text[pos] == '\t');
}

std::optional<LogicalLine> ContentLineReader::next(bool keepFoldSpace) {
    std::string_view line;
    size_t after = 0;
    while (lineAt(m_pos, &line, &after) && IsBlank(line)) {
        m_pos = after;
        ++m_index;
    }
    if (m_pos >= m_text.size()) return std::nullopt;
    LogicalLine out{m_index + 1, std::string(line)};
    m_pos = after;
    ++m_index;
    while (isContinuationAt(m_pos) && lineAt(m_pos, &line, &after)) {
        out.text.append(line.substr(keepFoldSpace ? 0 : 1));
        m_pos = after;
        ++m_index;
    }
    return out;
}

bool ContentLineReader::continueWithNextLine(LogicalLine& logical) {
    std::string_view line;
    size_t after = 0;
    if (!lineAt(m_pos, &line, &after)) return false;
    logical.text.append(line);
    m_pos = after;
    ++m_index;
    while (isContinuationAt(m_pos) && lineAt(m_pos, &line, &after)) {
        logical.text.append(line.substr(1));
        m_pos = after;
        ++m_index;
    }
    return true;
}

std::optional<std::string_view> ContentLineReader::peek() const {
    std::string_view line;
    size_t after = 0;
    if (!lineAt(m_pos, &line, &after)) return std::nullopt;
    return line;
}

bool ParseContentLine(const LogicalLine& logical, ContentLine* out, std::string* error) {
    const std::string_view s = logical.text;
    *out = ContentLine{};
    out->line = logical.line;
    size_t pos = 0;
    while (pos < s.size() && (IsNameChar(s[pos]) || s[pos] == '.')) ++pos;
    std::string_view name = s.substr(0, pos);
    if (auto dot = name.rfind('.'); dot != std::string_view::npos) {
        out->group = std::string(name.substr(0, dot));
        name.remove_prefix(dot + 1);
    }
    if (name.empty()) {
        *error = "line does not start with a property name";
        return false;
    }
    out->name = AsciiUpper(name);
    while (pos < s.size() && s[pos] == ';') {
        ++pos;
        size_t begin = pos;
        while (pos < s.size() && s[pos] != '=' && s[pos] != ';' && s[pos] != ':') ++pos;
        std::string pname = AsciiUpper(TrimBlanks(WithoutZeroBytes(s.substr(begin, pos - begin))));
        if (pname.empty()) continue;  // ";;" or a trailing ';'
        LineParam param;
        if (pos < s.size() && s[pos] == '=') {
            param.name = pname;
            ++pos;
            while (true) {
                std::string value;
                if (pos < s.size() && s[pos] == '"') {
                    size_t close = s.find('"', pos + 1);
                    if (close == std::string_view::npos) {
                        *error = "parameter " + pname + " has an unclosed quote";
                        return false;
                    }
                    value = DecodeCaret(WithoutZeroBytes(s.substr(pos + 1, close - pos - 1)));
                    pos = close + 1;
                } else {
                    size_t vb = pos;
                    while (pos < s.size() && s[pos] != ',' && s[pos] != ';' && s[pos] != ':') ++pos;
                    value = DecodeCaret(TrimBlanks(WithoutZeroBytes(s.substr(vb, pos - vb))));
                }
                if (param.name == "TYPE") {
                    // "TYPE=work,voice" and the quoted 4.0 form "TYPE=\"work,voice\"".
                    AddTypes(value, &param.values);
                } else {
                    param.values.push_back(value);
                }
                if (pos < s.size() && s[pos] == ',') {
                    ++pos;
                    continue;
                }
                break;
            }
        } else if (IsEncodingToken(pname)) {
            param.name = "ENCODING";  // vCard 2.1: "NOTE;QUOTED-PRINTABLE:"
            param.values.push_back(pname);
        } else {
            param.name = "TYPE";  // vCard 2.1: "TEL;WORK;FAX:"
            AddTypes(pname, &param.values);
        }
        // A TYPE that lists nothing ("TYPE=", "TEL;,:") says nothing.
        if (param.name != "TYPE" || !param.values.empty()) out->params.push_back(std::move(param));
    }
    if (pos >= s.size() || s[pos] != ':') {
        *error = "no ':' after the name of " + out->name;
        return false;
    }
    out->value = std::string(s.substr(pos + 1));
    return true;
}

std::vector<std::string> SplitEscaped(std::string_view value, char separator) {
    std::vector<std::string> parts(1);
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) {
            parts.back() += value[i];
            parts.back() += value[++i];
        } else if (value[i] == separator) {
            parts.emplace_back();
        } else {
            parts.back() += value[i];
        }
    }
    return parts;
}

std::string UnescapeText(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        char c = value[i + 1];
        if (c == 'n' || c == 'N') {
            out += '\n';
        } else if (c == '\\' || c == ';' || c == ',' || c == ':') {
            out += c;
        } else {
            out += '\\';
            continue;
        }
        ++i;
    }
    return out;
}

std::string EscapeText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case ';':
                out += "\\;";
                break;
            case ',':
                out += "\\,";
                break;
            case '\r':
                if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
                out += "\\n";
                break;
            case '\n':
                out += "\\n";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string QuoteParamValue(std::string_view value) {
    std::string out = "\"";
    for (size_t i = 0; i < value.size(); ++i) {
        switch (value[i]) {
            case '^':
                out += "^^";
                break;
            case '"':
                out += "^'";
                break;
            case '\r':
                if (i + 1 < value.size() && value[i + 1] == '\n') ++i;
                out += "^n";
                break;
            case '\n':
                out += "^n";
                break;
            default:
                out += value[i];
        }
    }
    return out + '"';
}

std::string FoldLine(std::string_view line) {
    constexpr size_t kLimit = 75;
    std::string out;
    out.reserve(line.size() + line.size() / 70 * 3 + 2);
    size_t used = 0;  // octets on the current physical line
    for (size_t i = 0; i < line.size();) {
        size_t n = std::min(Utf8SequenceLength(static_cast<unsigned char>(line[i])), line.size() - i);
        if (used + n > kLimit) {
            out += "\r\n ";
            used = 1;
        }
        out.append(line.substr(i, n));
        used += n;
        i += n;
    }
    out += "\r\n";
    return out;
}

}  // namespace calyra::interchange
