#include "session/record_id.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "session/client_error.h"
#include "session/text_matching.h"

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

std::vector<std::string> UniqueIds(const std::vector<std::string>& ids) {
    std::vector<std::string> out;
    for (const auto& id : ids)
        if (std::find(out.begin(), out.end(), id) == out.end()) out.push_back(id);
    return out;
}

std::string JoinIds(const std::vector<std::string>& ids) {
    std::string out;
    for (const auto& id : ids) out += (out.empty() ? "" : ", ") + id;
    return out;
}

std::string ResolveRecordId(const std::string& text, const std::vector<NamedRecord>& records, const RecordKind& kind) {
    if (IsRecordId(text))
        for (const auto& r : records)
            if (r.id == text) return r.id;
    const std::string wanted = FoldCase(text);
    std::vector<std::string> named;
    for (const auto& r : records)
        if (FoldCase(r.name) == wanted) named.push_back(r.id);
    if (named.size() == 1) return named.front();
    if (named.empty()) {
        const std::string shown = IsRecordId(text) ? text : "\"" + text + "\"";
        throw ClientError("no " + std::string(kind.one) + " " + shown + " " + kind.where);
    }
    throw ClientError(std::to_string(named.size()) + " " + std::string(kind.many) + " are named \"" + text +
                          "\": " + JoinIds(named) + "; use the ID",
                      2);
}

void RefuseTakenName(const std::string& name, const std::vector<NamedRecord>& records, const RecordKind& kind,
                     const std::string& exceptId) {
    const std::string wanted = FoldCase(name);
    for (const auto& r : records)
        if (r.id != exceptId && FoldCase(r.name) == wanted)
            throw ClientError(std::string(kind.one) + " " + r.id + " " + kind.where + " is already named \"" + r.name +
                              "\"; names tell records apart, so each is used once");
}

}  // namespace calyra::cli
