#include "import_export/import_report.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <utility>

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

std::vector<ImportReport::Entry> ImportReport::diagnostics() const {
    // An import reads a batch while it stores the one before, so what it
    // finds does not arrive in line order.
    std::vector<std::string> files;
    for (const auto& d : m_diagnostics)
        if (std::find(files.begin(), files.end(), d.file) == files.end()) files.push_back(d.file);
    auto rank = [&files](const Entry& d) {
        return std::pair(std::find(files.begin(), files.end(), d.file) - files.begin(), d.line);
    };
    std::vector<Entry> sorted = m_diagnostics;
    std::stable_sort(sorted.begin(), sorted.end(), [&](const Entry& a, const Entry& b) { return rank(a) < rank(b); });
    return sorted;
}

size_t ImportReport::skippedCount() const {
    size_t n = 0;
    for (const auto& d : m_diagnostics) n += d.skipped ? 1 : 0;
    return n;
}

Json ImportReport::json() const {
    Json out{{"added", m_imported}, {"updated", m_updated}, {"unchanged", m_unchanged}, {"skipped", skippedCount()}};
    Json diagnostics = Json::array();
    for (const auto& d : this->diagnostics())
        diagnostics.push_back({{"file", d.file}, {"line", d.line}, {"what", d.what}, {"skipped", d.skipped}});
    out["diagnostics"] = std::move(diagnostics);
    Json notStored = Json::object();
    for (const auto& [name, n] : m_notStored) notStored[name] = n;
    out["not_stored"] = std::move(notStored);
    for (const auto& [name, n] : m_counts) out[name] = n;
    return out;
}

std::string ImportReport::text() const {
    // "added 1 task", "added 2 tasks".
    const std::string what = m_imported == 1 && m_what.ends_with('s') ? m_what.substr(0, m_what.size() - 1) : m_what;
    std::string out = "added " + std::to_string(m_imported) + " " + what + ", updated " + std::to_string(m_updated) +
                      ", unchanged " + std::to_string(m_unchanged) + ", skipped " + std::to_string(skippedCount());
    for (const auto& [name, n] : m_counts) {
        std::string words = name;
        for (char& c : words) c = c == '_' ? ' ' : c;
        out += ", " + words + " " + std::to_string(n);
    }
    for (const auto& d : diagnostics())
        out += "\n  " + d.file + ":" + std::to_string(d.line) + ": " + d.what + (d.skipped ? " (skipped)" : "");
    if (!m_notStored.empty()) {
        out += "\nnot stored (no place in the records):";
        for (const auto& [name, n] : m_notStored) out += "\n  " + name + " (" + std::to_string(n) + ")";
    }
    return out;
}

}  // namespace calyra::cli

namespace calyra::cli {

size_t EntriesIn(std::string_view bytes, std::string_view begin) {
    // Anywhere, not only at a line's start: a byte order mark may stand
    // before the first one. Found by a character of `begin` that has no
    // case (the colon of "BEGIN:VCARD"), looked for with memchr: it occurs
    // once a line, where comparing every byte's case was a fiftieth of an
    // import of plain cards.
    const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
    const auto matchesAt = [&](size_t at) {
        for (size_t i = 0; i < begin.size(); ++i)
            if (upper(bytes[at + i]) != upper(begin[i])) return false;
        return true;
    };
    const auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    size_t anchor = 0;
    while (anchor < begin.size() && letter(begin[anchor])) ++anchor;
    size_t n = 0;
    if (begin.empty() || bytes.size() < begin.size()) return n;
    if (anchor == begin.size()) {  // letters only: every byte is a candidate
        for (size_t at = 0; at + begin.size() <= bytes.size(); ++at)
            if (matchesAt(at)) {
                ++n;
                at += begin.size() - 1;
            }
        return n;
    }
    size_t from = 0;  // no entry starts before: the previous one ended there
    for (size_t at = anchor; at < bytes.size();) {
        const void* hit = std::memchr(bytes.data() + at, begin[anchor], bytes.size() - at);
        if (!hit) break;
        const size_t found = static_cast<size_t>(static_cast<const char*>(hit) - bytes.data());
        at = found + 1;
        if (found < anchor || found - anchor < from || found - anchor + begin.size() > bytes.size()) continue;
        if (matchesAt(found - anchor)) {
            ++n;
            from = found - anchor + begin.size();
        }
    }
    return n;
}

std::string WhatTheFileHolds(std::string_view bytes) {
    // The kinds, each with the words for one and many and its command.
    struct Kind {
        const char* begin;  // "BEGIN:VEVENT"
        const char* one;
        const char* many;
        const char* command;
    };
    static constexpr Kind kKinds[] = {
        {"BEGIN:VEVENT", "event", "events", "calyra events import"},
        {"BEGIN:VTODO", "task", "tasks", "calyra tasks import"},
        {"BEGIN:VCARD", "contact (vCard)", "contacts (vCards)", "calyra contacts import"},
    };
    std::string held, commands;
    size_t total = 0;
    for (const Kind& kind : kKinds) {
        const size_t n = EntriesIn(bytes, kind.begin);
        if (n == 0) continue;
        total += n;
        held += std::string(held.empty() ? "" : " and ") + std::to_string(n) + " " + (n == 1 ? kind.one : kind.many);
        commands += std::string(commands.empty() ? "'" : " and '") + kind.command + "'";
    }
    if (held.empty()) return held;
    return held + " (import " + (total == 1 ? "it" : "them") + " with " + commands + ")";
}

}  // namespace calyra::cli
