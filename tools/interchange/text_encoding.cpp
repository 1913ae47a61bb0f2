#include "interchange/text_encoding.h"

#include <iconv.h>

#include <cctype>
#include <cerrno>
#include <cstdint>

#include "interchange/content_line.h"

namespace calyra::interchange {
namespace {

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian) {
    std::string out;
    out.reserve(bytes.size());
    auto unit = [&](size_t i) -> uint32_t {
        auto b0 = static_cast<unsigned char>(bytes[i]), b1 = static_cast<unsigned char>(bytes[i + 1]);
        return bigEndian ? (b0 << 8 | b1) : (b1 << 8 | b0);
    };
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        uint32_t u = unit(i);
        if (u >= 0xD800 && u < 0xDC00 && i + 3 < bytes.size()) {
            uint32_t low = unit(i + 2);
            if (low >= 0xDC00 && low < 0xE000) {
                AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        AppendUtf8(out, u >= 0xD800 && u < 0xE000 ? 0xFFFD : u);
    }
    return out;
}

}  // namespace

std::string NormalizeInput(std::string_view bytes) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") return std::string(bytes.substr(3));
    if (bytes.substr(0, 2) == "\xFF\xFE") return Utf16ToUtf8(bytes.substr(2), false);
    if (bytes.substr(0, 2) == "\xFE\xFF") return Utf16ToUtf8(bytes.substr(2), true);
    return std::string(bytes);
}

std::string WithoutControlCharacters(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 0x20 && byte != 0x7F) || c == '\t' || c == '\n') out += c;
    }
    return out;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

size_t Utf8SequenceLength(unsigned char lead) {
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    return 1;
}

namespace {

// Length of the valid UTF-8 sequence at text[i], or 0 when the bytes there
// are not one (a stray continuation, a cut sequence, an overlong form, a
// surrogate or a value past U+10FFFF).
size_t ValidSequenceAt(std::string_view text, size_t i) {
    auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) return 1;
    size_t n = Utf8SequenceLength(lead);
    if (n == 1 || i + n > text.size()) return 0;
    uint32_t cp = lead & (0x7F >> n);
    for (size_t k = 1; k < n; ++k) {
        auto c = static_cast<unsigned char>(text[i + k]);
        if ((c & 0xC0) != 0x80) return 0;
        cp = cp << 6 | (c & 0x3F);
    }
    if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp < 0xE000))
        return 0;
    return n;
}

}  // namespace

bool IsValidUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        size_t n = ValidSequenceAt(text, i);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

std::string ToValidUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        size_t n = ValidSequenceAt(text, i);
        if (n == 0) {
            out += "\xEF\xBF\xBD";  // U+FFFD for a byte that starts no valid sequence
            ++i;
        } else {
            out.append(text, i, n);
            i += n;
        }
    }
    return out;
}

std::string DecodeQuotedPrintable(std::string_view text, bool* malformed) {
    std::string out;
    out.reserve(text.size());
    bool bad = false;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c != '=') {
            out += c;
            continue;
        }
        if (i + 1 == text.size()) break;  // soft line break at the end
        if (text[i + 1] == '\r' || text[i + 1] == '\n') {
            i += text[i + 1] == '\r' && i + 2 < text.size() && text[i + 2] == '\n' ? 2 : 1;
            continue;
        }
        int hi = i + 2 < text.size() ? HexValue(text[i + 1]) : -1;
        int lo = hi >= 0 ? HexValue(text[i + 2]) : -1;
        if (lo < 0) {
            bad = true;
            out += c;
            continue;
        }
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    if (malformed) *malformed = bad;
    return out;
}

std::string Windows1252ToUtf8(std::string_view bytes) {
    // 0x80-0x9F differ from ISO-8859-1; 0 marks the five unassigned bytes,
    // which keep their ISO-8859-1 (control) meaning.
    static constexpr uint16_t kHigh[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                           0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                           0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                           0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 4);
    for (char ch : bytes) {
        auto b = static_cast<unsigned char>(ch);
        uint32_t cp = b;
        if (b >= 0x80 && b < 0xA0 && kHigh[b - 0x80]) cp = kHigh[b - 0x80];
        AppendUtf8(out, cp);
    }
    return out;
}

std::optional<std::string> ConvertToUtf8(std::string_view bytes, std::string_view charset) {
    const std::string name = AsciiUpper(charset);
    if (name == "UTF-8" || name == "UTF8" || name == "US-ASCII" || name == "ASCII") {
        if (IsValidUtf8(bytes)) return std::string(bytes);
        return std::nullopt;
    }
    if (name == "WINDOWS-1252" || name == "CP1252" || name == "ISO-8859-1" || name == "LATIN1" || name == "ISO8859-1")
        return Windows1252ToUtf8(bytes);
    // A charset name is a short word of letters, digits and a few marks;
    // iconv is lenient with anything else (it drops what it does not know
    // and may land on a converter the file never named).
    if (name.empty() || name.size() > 40 ||
        name.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_.:()+") != std::string::npos)
        return std::nullopt;
    iconv_t cd = iconv_open("UTF-8", name.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    // Some charsets grow far more than fourfold (a TSCII byte can become
    // four Tamil letters, 12 bytes of UTF-8), so the output room doubles
    // until the text fits. Each try starts over from the first byte: glibc's
    // TSCII converter repeats letters when it resumes after running out of
    // room in the middle of a byte's letters.
    std::string in(bytes);
    std::string out;
    bool ok = false;
    for (size_t room = bytes.size() * 4 + 16;; room *= 2) {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
        char* inPtr = in.data();
        size_t inLeft = in.size();
        out.assign(room, '\0');
        char* outPtr = out.data();
        size_t outLeft = room;
        size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        if (rc != static_cast<size_t>(-1)) rc = iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
        if (rc != static_cast<size_t>(-1)) {
            out.resize(room - outLeft);
            ok = true;
            break;
        }
        if (errno != E2BIG) break;
    }
    iconv_close(cd);
    // Some converters pass bytes they cannot read straight through; what
    // comes out must be UTF-8 all the same.
    if (!ok || !IsValidUtf8(out)) return std::nullopt;
    return out;
}

}  // namespace calyra::interchange
