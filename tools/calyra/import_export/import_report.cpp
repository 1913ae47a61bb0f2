#include "import_export/import_report.h"

namespace calyra::cli {

void ImportReport::addParse(const std::string& file, const interchange::ParseReport& parse) {
    for (const auto& d : parse.diagnostics) m_diagnostics.push_back({file, d.line, d.what, d.skipped});
    for (const auto& [name, n] : parse.unmapped) m_notStored[name] += n;
}

void ImportReport::skip(const std::string& file, size_t line, const std::string& why) {
    m_diagnostics.push_back({file, line, why, true});
}

void ImportReport::warn(const std::string& file, size_t line, const std::string& why) {
    m_diagnostics.push_back({file, line, why, false});
}

size_t ImportReport::skippedCount() const {
    size_t n = 0;
    for (const auto& d : m_diagnostics) n += d.skipped ? 1 : 0;
    return n;
}

Json ImportReport::json() const {
    Json out{{"added", m_imported}, {"updated", m_updated}, {"unchanged", m_unchanged}, {"skipped", skippedCount()}};
    Json diagnostics = Json::array();
    for (const auto& d : m_diagnostics)
        diagnostics.push_back({{"file", d.file}, {"line", d.line}, {"what", d.what}, {"skipped", d.skipped}});
    out["diagnostics"] = std::move(diagnostics);
    Json notStored = Json::object();
    for (const auto& [name, n] : m_notStored) notStored[name] = n;
    out["not_stored"] = std::move(notStored);
    for (const auto& [name, n] : m_counts) out[name] = n;
    return out;
}

std::string ImportReport::text() const {
    std::string out = "added " + std::to_string(m_imported) + " " + m_what + ", updated " + std::to_string(m_updated) +
                      ", unchanged " + std::to_string(m_unchanged) + ", skipped " + std::to_string(skippedCount());
    for (const auto& [name, n] : m_counts) {
        std::string words = name;
        for (char& c : words) c = c == '_' ? ' ' : c;
        out += ", " + words + " " + std::to_string(n);
    }
    for (const auto& d : m_diagnostics)
        out += "\n  " + d.file + ":" + std::to_string(d.line) + ": " + d.what + (d.skipped ? " (skipped)" : "");
    if (!m_notStored.empty()) {
        out += "\nnot stored (no place in the records):";
        for (const auto& [name, n] : m_notStored) out += "\n  " + name + " (" + std::to_string(n) + ")";
    }
    return out;
}

}  // namespace calyra::cli
