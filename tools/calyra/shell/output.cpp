#include "shell/output.h"

#include <iostream>

namespace calyra::cli {
namespace {

std::string Pad(const std::string& text, size_t width) {
    size_t w = DisplayWidth(text);
    return w >= width ? text : text + std::string(width - w, ' ');
}

// Control characters would break the table's lines; show them escaped.
std::string OneLine(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\t')
            out += ' ';
        else
            out += c;
    }
    return out;
}

}  // namespace

std::string CellText(const Json& value) {
    if (value.is_null()) return "";
    if (value.is_string()) return OneLine(value.get<std::string>());
    if (value.is_boolean()) return value.get<bool>() ? "yes" : "no";
    if (value.is_array()) {
        std::string out;
        for (const auto& v : value) out += (out.empty() ? "" : ", ") + CellText(v);
        return out;
    }
    if (value.is_object()) {
        std::string out;
        for (const auto& [k, v] : value.items()) out += (out.empty() ? "" : ", ") + k + "=" + CellText(v);
        return out;
    }
    return value.dump();
}

std::string FormatTable(const std::vector<std::string>& header, const std::vector<std::vector<std::string>>& rows) {
    std::vector<size_t> widths(header.size(), 0);
    for (size_t c = 0; c < header.size(); ++c) widths[c] = DisplayWidth(header[c]);
    for (const auto& row : rows)
        for (size_t c = 0; c < row.size() && c < widths.size(); ++c)
            widths[c] = std::max(widths[c], DisplayWidth(row[c]));
    auto line = [&](const std::vector<std::string>& cells) {
        std::string out;
        for (size_t c = 0; c < widths.size(); ++c) {
            const std::string cell = c < cells.size() ? cells[c] : "";
            out += c + 1 == widths.size() ? cell : Pad(cell, widths[c]) + "  ";
        }
        while (!out.empty() && out.back() == ' ') out.pop_back();
        return out + "\n";
    };
    std::string out = line(header);
    for (const auto& row : rows) out += line(row);
    return out;
}

Output::Output(bool json, std::ostream* out) : m_json(json), m_out(out ? out : &std::cout) {}

void Output::list(const Json& items, const std::vector<std::string>& columns) const {
    if (m_json) {
        *m_out << items.dump(2) << "\n";
        return;
    }
    if (items.empty()) {
        *m_out << "(none)\n";
        return;
    }
    std::vector<std::string> header = columns;
    if (header.empty())
        for (const auto& [key, value] : items.front().items()) header.push_back(key);
    std::vector<std::vector<std::string>> rows;
    for (const auto& item : items) {
        std::vector<std::string> row;
        for (const auto& key : header) row.push_back(item.contains(key) ? CellText(item[key]) : "");
        rows.push_back(std::move(row));
    }
    *m_out << FormatTable(header, rows);
}

void Output::object(const Json& item) const {
    if (m_json) {
        *m_out << item.dump(2) << "\n";
        return;
    }
    size_t width = 0;
    for (const auto& [key, value] : item.items()) width = std::max(width, DisplayWidth(key));
    for (const auto& [key, value] : item.items()) {
        if (value.is_array() && !value.empty() && value.front().is_object()) {
            *m_out << key << ":\n";
            std::vector<std::string> header;
            for (const auto& [k, v] : value.front().items()) header.push_back(k);
            std::vector<std::vector<std::string>> rows;
            for (const auto& entry : value) {
                std::vector<std::string> row;
                for (const auto& k : header) row.push_back(entry.contains(k) ? CellText(entry[k]) : "");
                rows.push_back(std::move(row));
            }
            std::string table = FormatTable(header, rows);
            size_t pos = 0;
            while (pos < table.size()) {
                size_t end = table.find('\n', pos);
                *m_out << "  " << table.substr(pos, end - pos) << "\n";
                pos = end + 1;
            }
            continue;
        }
        *m_out << Pad(key, width) << "  " << CellText(value) << "\n";
    }
}

void Output::done(const std::string& message, const Json& result) const {
    if (m_json)
        *m_out << (result.is_null() ? Json{{"ok", true}} : result).dump(2) << "\n";
    else
        *m_out << message << "\n";
}

void Output::text(const std::string& text, const Json& value) const {
    if (m_json)
        *m_out << value.dump(2) << "\n";
    else
        *m_out << text;
}

}  // namespace calyra::cli
