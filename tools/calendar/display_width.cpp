#include "calendar/display_width.h"

namespace calyra::calendar {
namespace {

// Decodes one code point from UTF-8 (invalid bytes count as one).
char32_t NextCodePoint(const std::string& s, size_t* i) {
    unsigned char c = static_cast<unsigned char>(s[*i]);
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    char32_t cp = extra == 0 ? c : c & (0x3F >> extra);
    ++*i;
    for (int k = 0; k < extra && *i < s.size(); ++k, ++*i) cp = (cp << 6) | (static_cast<unsigned char>(s[*i]) & 0x3F);
    return cp;
}

bool IsWide(char32_t cp) {
    return (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF) || (cp >= 0xAC00 && cp <= 0xD7A3) ||
           (cp >= 0xF900 && cp <= 0xFAFF) || (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
           (cp >= 0xFFE0 && cp <= 0xFFE6) || (cp >= 0x1F300 && cp <= 0x1FAFF) || (cp >= 0x20000 && cp <= 0x3FFFD);
}

bool IsCombining(char32_t cp) {
    return (cp >= 0x0300 && cp <= 0x036F) || cp == 0x200D || (cp >= 0xFE00 && cp <= 0xFE0F);
}

// Skips an ANSI control sequence (ESC '[', parameters, one final byte in
// '@'..'~') starting at `i`; returns false, leaving `i`, when none starts
// there. Colour is drawn this way, and takes no column.
bool SkipEscape(const std::string& s, size_t* i) {
    if (s[*i] != '\x1b' || *i + 1 >= s.size() || s[*i + 1] != '[') return false;
    size_t j = *i + 2;
    while (j < s.size() && !(s[j] >= '@' && s[j] <= '~')) ++j;
    *i = j < s.size() ? j + 1 : j;
    return true;
}

}  // namespace

size_t DisplayWidth(const std::string& text) {
    size_t width = 0;
    for (size_t i = 0; i < text.size();) {
        if (SkipEscape(text, &i)) continue;
        char32_t cp = NextCodePoint(text, &i);
        if (IsCombining(cp)) continue;
        width += IsWide(cp) ? 2 : 1;
    }
    return width;
}

}  // namespace calyra::calendar
