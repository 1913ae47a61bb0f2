#include "cli/list_options.h"

#include <algorithm>

#include "records/record_fields.h"
#include "session/client_error.h"
#include "session/record_id.h"
#include "session/text_matching.h"

namespace calyra::cli {
namespace {

bool IsEmpty(const Json& v) { return v.is_null() || (v.is_string() && v.get_ref<const std::string&>().empty()); }

// <0, 0, >0 for two non-empty values of one field.
int Compare(const Json& a, const Json& b) {
    if (a.is_number() && b.is_number()) {
        const double x = a.get<double>(), y = b.get<double>();
        return x < y ? -1 : x > y ? 1 : 0;
    }
    if (a.is_boolean() && b.is_boolean()) return int(a.get<bool>()) - int(b.get<bool>());
    return CollateForSort(CellText(a), CellText(b));
}

}  // namespace

void ListOptions::add(CLI::App& command, std::vector<std::string> fields, std::vector<std::string> columns) {
    m_fields = std::move(fields);
    m_columns = std::move(columns);
    command.add_option("--sort", m_sort, "Sort the rows by FIELD (a name --fields takes)")->type_name("FIELD");
    command.add_flag("--reverse", m_reverse,
                     "Sort in the opposite order (empty values still last); alone, reverse the list");
    command.add_option("--fields", m_chosen, "Show only these fields, in this order: " + JoinIds(m_fields))
        ->type_name("A,B,...");
}

std::vector<std::string> ListOptions::KeysOf(const RecordDesc& desc, std::vector<std::string> extra) {
    std::vector<std::string> keys;
    for (const auto& f : FieldsOf(desc)) keys.push_back(f.key);
    keys.insert(keys.end(), extra.begin(), extra.end());
    return keys;
}

const std::string& ListOptions::checked(const std::string& name, const char* option) const {
    auto it = std::find(m_fields.begin(), m_fields.end(), name);
    if (it == m_fields.end())
        throw ClientError(std::string(option) + ": unknown field \"" + name + "\" (fields: " + JoinIds(m_fields) + ")",
                          2);
    return *it;
}

void ListOptions::show(const Output& out, Json rows) const {
    std::vector<std::string> columns = m_columns;
    if (!m_chosen.empty()) {
        columns.clear();
        for (size_t start = 0; start <= m_chosen.size();) {
            const size_t comma = std::min(m_chosen.find(',', start), m_chosen.size());
            std::string name = m_chosen.substr(start, comma - start);
            name.erase(0, name.find_first_not_of(' '));
            name.erase(name.find_last_not_of(' ') + 1);
            columns.push_back(checked(name, "--fields"));
            start = comma + 1;
        }
    }
    if (!m_sort.empty()) {
        const std::string& key = checked(m_sort, "--sort");
        std::stable_sort(rows.begin(), rows.end(), [&](const Json& a, const Json& b) {
            const Json& x = a.contains(key) ? a[key] : Json();
            const Json& y = b.contains(key) ? b[key] : Json();
            if (IsEmpty(x) || IsEmpty(y)) return !IsEmpty(x) && IsEmpty(y);
            const int order = Compare(x, y);
            return m_reverse ? order > 0 : order < 0;
        });
    } else if (m_reverse) {
        std::reverse(rows.begin(), rows.end());
    }
    if (!m_chosen.empty()) {
        Json cut = Json::array();
        for (const auto& row : rows) {
            Json item = Json::object();
            for (const auto& key : columns) item[key] = row.contains(key) ? row[key] : Json();
            cut.push_back(std::move(item));
        }
        rows = std::move(cut);
    }
    out.list(rows, columns);
}

}  // namespace calyra::cli
