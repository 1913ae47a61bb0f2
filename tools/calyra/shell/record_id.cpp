#include "shell/record_id.h"

#include <cctype>
#include <string_view>

#include "shell/client_error.h"

namespace calyra::cli {

bool IsRecordId(std::string_view id) {
    bool ok = !id.empty() && id.size() <= 19;
    for (char c : id) ok = ok && std::isdigit(static_cast<unsigned char>(c));
    return ok;
}

std::string CheckedId(const std::string& text, const std::string& what) {
    if (!IsRecordId(text)) {
        const bool vowel = !what.empty() && std::string_view("aeiou").find(what[0]) != std::string_view::npos;
        throw ClientError(std::string("not ") + (vowel ? "an " : "a ") + what + " ID: \"" + text + "\"", 2);
    }
    return text;
}

}  // namespace calyra::cli
