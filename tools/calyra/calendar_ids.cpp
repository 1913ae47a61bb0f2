#include "calendar_ids.h"

#include <cctype>
#include <string_view>

#include "client_error.h"

namespace calyra::cli {

std::string CheckedId(const std::string& text, const std::string& what) {
    bool ok = !text.empty() && text.size() <= 19;
    for (char c : text) ok = ok && std::isdigit(static_cast<unsigned char>(c));
    if (!ok) {
        const bool vowel = !what.empty() && std::string_view("aeiou").find(what[0]) != std::string_view::npos;
        throw ClientError(std::string("not ") + (vowel ? "an " : "a ") + what + " ID: \"" + text + "\"", 2);
    }
    return text;
}

}  // namespace calyra::cli
