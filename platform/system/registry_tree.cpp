// The registry's in-memory tree and its line-based text form.
#include "platform/system/registry_tree.h"

#include <cstdio>
#include <set>

namespace calyra {
namespace {

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }
bool IsControl(char32_t c) { return c < 0x20 || c == 0x7F; }

// Registry names compare like Windows compares them for ASCII text.
std::u16string Fold(std::u16string_view name) {
    std::u16string folded(name);
    for (char16_t& c : folded)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    return folded;
}

// True when the text has a surrogate that is not part of a pair.
bool HasLoneSurrogate(std::u16string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            ++i;
        } else if (IsHighSurrogate(text[i]) || IsLowSurrogate(text[i])) {
            return true;
        }
    }
    return false;
}

void AppendUtf8(char32_t cp, std::string* out) {
    if (cp < 0x80) {
        out->push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

void AppendEscapedUnit(char16_t unit, std::string* out) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(unit));
    out->append(buf);
}

// Key names hold no characters that need escaping (IsValidKeyName).
std::string EncodeName(std::u16string_view name) {
    std::string out;
    for (std::size_t i = 0; i < name.size(); ++i) {
        char32_t cp = name[i];
        if (IsHighSurrogate(name[i])) cp = 0x10000 + ((cp - 0xD800) << 10) + (name[++i] - 0xDC00);
        AppendUtf8(cp, &out);
    }
    return out;
}

std::string EncodeQuoted(std::u16string_view text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        if (c == u'"' || c == u'\\') {
            out.push_back('\\');
            out.push_back(static_cast<char>(c));
        } else if (IsControl(c)) {
            AppendEscapedUnit(c, &out);
        } else if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            AppendUtf8(0x10000 + ((char32_t{c} - 0xD800) << 10) + (text[i + 1] - 0xDC00), &out);
            ++i;
        } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
            AppendEscapedUnit(c, &out);
        } else {
            AppendUtf8(c, &out);
        }
    }
    out.push_back('"');
    return out;
}

void AppendUtf16(char32_t cp, std::u16string* out) {
    if (cp < 0x10000) {
        out->push_back(static_cast<char16_t>(cp));
    } else {
        cp -= 0x10000;
        out->push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out->push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
}

// Reads one strictly well-formed UTF-8 sequence at text[*pos]; false on an
// invalid, overlong, surrogate or cut-short sequence.
bool DecodeUtf8(std::string_view text, std::size_t* pos, char32_t* cp) {
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char b0 = byte(*pos);
    int extra;
    char32_t value;
    if (b0 < 0x80) {
        extra = 0;
        value = b0;
    } else if (b0 >= 0xC2 && b0 <= 0xDF) {
        extra = 1;
        value = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        extra = 2;
        value = b0 & 0x0F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        extra = 3;
        value = b0 & 0x07;
    } else {
        return false;
    }
    if (*pos + static_cast<std::size_t>(extra) >= text.size()) return false;
    for (int k = 1; k <= extra; ++k) {
        unsigned char b = byte(*pos + static_cast<std::size_t>(k));
        if ((b & 0xC0) != 0x80) return false;
        value = (value << 6) | (b & 0x3F);
    }
    static constexpr char32_t kMin[4] = {0, 0x80, 0x800, 0x10000};
    if (value < kMin[extra] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
    *pos += static_cast<std::size_t>(extra) + 1;
    *cp = value;
    return true;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Parses one line of the file; errors carry the line number.
class LineParser {
public:
    LineParser(std::string_view line, std::size_t number) : m_line(line), m_number(number) {}

    bool Fail(const std::string& what, std::string* error) const {
        if (error) *error = "registry file line " + std::to_string(m_number) + ": " + what;
        return false;
    }

    // A quoted text starting at m_pos (which holds the opening quote).
    bool ReadQuoted(std::u16string* out, std::string* error) {
        ++m_pos;
        out->clear();
        while (m_pos < m_line.size()) {
            char c = m_line[m_pos];
            if (c == '"') {
                ++m_pos;
                return true;
            }
            if (c == '\\') {
                if (m_pos + 1 >= m_line.size()) break;
                char e = m_line[m_pos + 1];
                if (e == '\\' || e == '"') {
                    out->push_back(static_cast<char16_t>(e));
                    m_pos += 2;
                } else if (e == 'u') {
                    unsigned unit = 0;
                    for (std::size_t k = 0; k < 4; ++k) {
                        int h = m_pos + 2 + k < m_line.size() ? HexDigit(m_line[m_pos + 2 + k]) : -1;
                        if (h < 0) return Fail("\\u needs four hex digits", error);
                        unit = unit * 16 + static_cast<unsigned>(h);
                    }
                    out->push_back(static_cast<char16_t>(unit));
                    m_pos += 6;
                } else {
                    return Fail(std::string("unknown escape \\") + e, error);
                }
                continue;
            }
            char32_t cp;
            if (!DecodeUtf8(m_line, &m_pos, &cp)) return Fail("text is not valid UTF-8", error);
            if (IsControl(cp)) return Fail("control character inside quotes (write it as \\uXXXX)", error);
            AppendUtf16(cp, out);
        }
        return Fail("missing closing quote", error);
    }

    bool Expect(char c, std::string* error) {
        if (m_pos < m_line.size() && m_line[m_pos] == c) {
            ++m_pos;
            return true;
        }
        return Fail(std::string("expected '") + c + "'", error);
    }

    bool AtEnd(std::string* error) const {
        return m_pos == m_line.size() ? true : Fail("unexpected text after the value", error);
    }

    // "[path]": the key path inside the brackets.
    bool ReadHeader(std::vector<std::u16string>* names, std::string* error) {
        if (m_line.size() < 2 || m_line.back() != ']') return Fail("key line must end with ']'", error);
        std::string_view inner = m_line.substr(1, m_line.size() - 2);
        std::u16string path;
        for (std::size_t i = 0; i < inner.size();) {
            char32_t cp;
            if (!DecodeUtf8(inner, &i, &cp)) return Fail("key path is not valid UTF-8", error);
            AppendUtf16(cp, &path);
        }
        if (path.empty() || !SplitKeyPath(path, names)) return Fail("invalid key path", error);
        return true;
    }

    std::size_t m_pos = 0;

private:
    std::string_view m_line;
    std::size_t m_number;
};

void FormatKey(const RegistryKey& key, const std::string& path, std::string* out) {
    if (!path.empty()) {
        out->append("\n[").append(path).append("]\n");
    }
    for (const auto& [name, data] : key.Values()) {
        out->append(name.empty() ? std::string("@") : EncodeQuoted(name));
        out->append("=").append(EncodeQuoted(data)).append("\n");
    }
    for (const RegistryKey* sub : key.Subkeys()) {
        std::string subPath = path.empty() ? EncodeName(sub->name()) : path + "\\" + EncodeName(sub->name());
        FormatKey(*sub, subPath, out);
    }
}

}  // namespace

bool IsValidKeyName(std::u16string_view name) {
    if (name.empty() || name.size() > kMaxKeyNameUnits || HasLoneSurrogate(name)) return false;
    for (char16_t c : name)
        if (c == u'\\' || IsControl(c)) return false;
    return true;
}

bool SplitKeyPath(std::u16string_view path, std::vector<std::u16string>* names) {
    names->clear();
    if (path.empty()) return true;
    std::size_t start = 0;
    while (true) {
        std::size_t end = path.find(u'\\', start);
        std::u16string_view part = path.substr(start, end == std::u16string_view::npos ? path.npos : end - start);
        if (!IsValidKeyName(part)) return false;
        names->emplace_back(part);
        if (end == std::u16string_view::npos) return true;
        start = end + 1;
    }
}

RegistryKey* RegistryKey::Find(std::u16string_view name) {
    auto it = m_subkeys.find(Fold(name));
    return it == m_subkeys.end() ? nullptr : it->second.get();
}

const RegistryKey* RegistryKey::Find(std::u16string_view name) const {
    return const_cast<RegistryKey*>(this)->Find(name);
}

RegistryKey* RegistryKey::FindPath(const std::vector<std::u16string>& names) {
    RegistryKey* key = this;
    for (const auto& name : names) {
        key = key->Find(name);
        if (!key) return nullptr;
    }
    return key;
}

const RegistryKey* RegistryKey::FindPath(const std::vector<std::u16string>& names) const {
    return const_cast<RegistryKey*>(this)->FindPath(names);
}

RegistryKey& RegistryKey::Create(std::u16string_view name) {
    auto& slot = m_subkeys[Fold(name)];
    if (!slot) slot = std::make_unique<RegistryKey>(std::u16string(name));
    return *slot;
}

bool RegistryKey::Remove(std::u16string_view name) { return m_subkeys.erase(Fold(name)) != 0; }

std::vector<const RegistryKey*> RegistryKey::Subkeys() const {
    std::vector<const RegistryKey*> keys;
    keys.reserve(m_subkeys.size());
    for (const auto& [folded, key] : m_subkeys) keys.push_back(key.get());
    return keys;
}

const std::u16string* RegistryKey::Value(std::u16string_view name) const {
    auto it = m_values.find(Fold(name));
    return it == m_values.end() ? nullptr : &it->second.data;
}

void RegistryKey::SetValue(std::u16string_view name, std::u16string_view data) {
    auto [it, inserted] = m_values.try_emplace(Fold(name), NamedValue{std::u16string(name), {}});
    it->second.data.assign(data);
}

bool RegistryKey::RemoveValue(std::u16string_view name) { return m_values.erase(Fold(name)) != 0; }

std::vector<std::pair<std::u16string, std::u16string>> RegistryKey::Values() const {
    std::vector<std::pair<std::u16string, std::u16string>> values;
    values.reserve(m_values.size());
    for (const auto& [folded, value] : m_values) values.emplace_back(value.name, value.data);
    return values;
}

bool RegistryKey::operator==(const RegistryKey& other) const {
    if (m_name != other.m_name || Values() != other.Values() || m_subkeys.size() != other.m_subkeys.size())
        return false;
    auto a = m_subkeys.begin();
    for (auto b = other.m_subkeys.begin(); b != other.m_subkeys.end(); ++a, ++b)
        if (a->first != b->first || !(*a->second == *b->second)) return false;
    return true;
}

std::string FormatRegistryText(const RegistryKey& root) {
    std::string out(kRegistryFileMagic);
    out.push_back('\n');
    FormatKey(root, std::string(), &out);
    return out;
}

bool ParseRegistryText(std::string_view text, RegistryKey* root, std::string* error) {
    if (text.empty()) return true;
    RegistryKey* current = root;
    std::set<const RegistryKey*> listed;  // keys that already had their "[path]" line
    std::set<std::u16string> seenValues;  // folded value names of the current key
    std::size_t number = 0;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        LineParser parser(line, number);

        if (number == 1) {
            if (line != kRegistryFileMagic)
                return parser.Fail(
                    "not a Calyra registry file (first line must be \"" + std::string(kRegistryFileMagic) + "\")",
                    error);
            continue;
        }
        if (line.empty() || line[0] == ';') continue;

        if (line[0] == '[') {
            std::vector<std::u16string> names;
            if (!parser.ReadHeader(&names, error)) return false;
            RegistryKey* key = root;
            for (const auto& name : names) key = &key->Create(name);
            if (!listed.insert(key).second) return parser.Fail("key listed twice", error);
            current = key;
            seenValues.clear();
            continue;
        }

        std::u16string name;
        if (line[0] == '@') {
            parser.m_pos = 1;
        } else if (line[0] == '"') {
            if (!parser.ReadQuoted(&name, error)) return false;
            if (name.empty()) return parser.Fail("the default value is written @, not \"\"", error);
            if (name.size() > kMaxValueNameUnits) return parser.Fail("value name too long", error);
        } else {
            return parser.Fail("expected [key], @=\"value\" or \"name\"=\"value\"", error);
        }
        if (!parser.Expect('=', error)) return false;
        if (parser.m_pos >= line.size() || line[parser.m_pos] != '"')
            return parser.Fail("value must be a quoted text", error);
        std::u16string data;
        if (!parser.ReadQuoted(&data, error) || !parser.AtEnd(error)) return false;
        if (!seenValues.insert(Fold(name)).second) return parser.Fail("value listed twice", error);
        current->SetValue(name, data);
    }
    return true;
}

}  // namespace calyra
