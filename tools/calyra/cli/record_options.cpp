#include "cli/record_options.h"

#include <algorithm>

#include "records/text_limits.h"

namespace calyra::cli {

void RecordOptions::add(CLI::App& command, const RecordDesc& desc, const std::vector<std::string>& skip) {
    m_desc = &desc;
    for (const auto& f : FieldsOf(desc)) {
        if (f.kind == FieldKind::Record || std::find(skip.begin(), skip.end(), f.key) != skip.end()) continue;
        std::string help;
        switch (f.kind) {
            case FieldKind::Date:
                help = "date, YYYY-MM-DD[THH:MM[:SS]] UTC, or none";
                break;
            case FieldKind::Flag:
                help = "yes or no";
                break;
            case FieldKind::Enum:
                for (const auto& [name, value] : EnumValues(f.enumName)) help += (help.empty() ? "" : "|") + name;
                if (IsHonorific(f.enumName)) help += "|none";
                break;
            case FieldKind::Number:
                help = "number";
                break;
            default:
                help = "text";
                break;
        }
        const std::string key = f.key;
        m_options[key] = command.add_option_function<std::string>(
            f.option, [this, key](const std::string& v) { m_values[key] = v; }, help);
    }
}

size_t RecordOptions::given() const { return m_values.size(); }

void RecordOptions::apply(void* record) const {
    for (const auto& [key, text] : m_values) SetField(*FindField(*m_desc, key), record, text);
}

const std::string* RecordOptions::value(const std::string& key) const {
    auto it = m_values.find(key);
    return it == m_values.end() ? nullptr : &it->second;
}

void RefuseCutTexts(const RecordDesc& desc, const void* record, const RecordOptions& given, const std::string& what) {
    RefuseCutTexts(
        desc, record, [&](const std::string& key) { return given.value(key) != nullptr; }, what);
}

}  // namespace calyra::cli
