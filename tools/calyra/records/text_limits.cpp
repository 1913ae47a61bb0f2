#include "records/text_limits.h"

#include "platform/bstr.h"
#include "records/record_fields.h"
#include "session/client_error.h"

namespace calyra::cli {
namespace {

std::string TooLong(const std::string& option, size_t units) {
    return option + ": text of " + std::to_string(units) + " UTF-16 units is too long (at most " +
           std::to_string(kMaxTextUnits) + " come back whole)";
}

BSTR TextOf(const FieldInfo& f, const void* record) {
    return *reinterpret_cast<const BSTR*>(static_cast<const char*>(record) + f.desc->offset);
}

}  // namespace

void CheckTextFits(std::string_view text, const std::string& option) {
    // Cheap test first: UTF-8 never takes fewer bytes than UTF-16 units.
    if (text.size() <= kMaxTextUnits) return;
    const size_t units = Utf8ToUtf16(text).size();
    if (units > kMaxTextUnits) throw ClientError(TooLong(option, units), 2);
}

void RefuseCutTexts(const RecordDesc& desc, const void* record, const std::function<bool(const std::string&)>& replaced,
                    const std::string& what) {
    for (const auto& f : FieldsOf(desc))
        if (f.kind == FieldKind::Text && SysStringLen(TextOf(f, record)) >= kReadableUnits && !replaced(f.key))
            throw ClientError("the " + f.key + " of " + what + " is longer than calyra can read back whole; give " +
                              f.option + " to replace it");
}

}  // namespace calyra::cli
