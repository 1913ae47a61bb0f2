#include "output/output.h"

#include <algorithm>

#include <cstdlib>
#include <iostream>

#include <fmt/format.h>

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

// A cell as the table shows it; `raw` keeps line breaks and tabs (CSV and
// TSV escape them their own way).
std::string Cell(const Json& value, bool raw) {
    if (value.is_null()) return "";
    if (value.is_string()) return raw ? value.get<std::string>() : OneLine(value.get<std::string>());
    if (value.is_boolean()) return value.get<bool>() ? "yes" : "no";
    if (value.is_array()) {
        std::string out;
        for (const auto& v : value) out += (out.empty() ? "" : ", ") + Cell(v, raw);
        return out;
    }
    if (value.is_object()) {
        std::string out;
        for (const auto& [k, v] : value.items()) out += (out.empty() ? "" : ", ") + k + "=" + Cell(v, raw);
        return out;
    }
    return value.dump();
}

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

std::string TsvField(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\t')
            out += "\\t";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\\')
            out += "\\\\";
        else
            out += c;
    }
    return out;
}

std::string Escapes(Style style) {
    switch (style) {
        case Style::Header:
            return "\x1b[1m";
        case Style::Today:
            return "\x1b[7m";
        case Style::Overdue:
            return "\x1b[31m";
        case Style::Muted:
            return "\x1b[2m";
        case Style::Error:
            return "\x1b[1;31m";
    }
    return "";
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The aligned table; `header` null: no header line.
std::string Aligned(const std::vector<std::string>* header, const std::vector<std::vector<std::string>>& rows,
                    size_t columns) {
    std::vector<size_t> widths(columns, 0);
    if (header)
        for (size_t c = 0; c < columns && c < header->size(); ++c) widths[c] = DisplayWidth((*header)[c]);
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
    std::string out = header ? line(*header) : "";
    for (const auto& row : rows) out += line(row);
    return out;
}

}  // namespace

std::string CellText(const Json& value) { return Cell(value, false); }

std::string FormatTable(const std::vector<std::string>& header, const std::vector<std::vector<std::string>>& rows) {
    return Aligned(&header, rows, header.size());
}

Format FormatNamed(const std::string& name, bool json) {
    if (json || name == "json") return Format::Json;
    if (name == "csv") return Format::Csv;
    if (name == "tsv") return Format::Tsv;
    return Format::Table;
}

bool ColorWanted(std::string_view option, bool terminal) {
    if (option == "always") return true;
    if (option == "never" || !terminal) return false;
    const char* noColor = std::getenv("NO_COLOR");
    return !noColor || !*noColor;
}

Output::Output(OutputOptions options, std::ostream* out) : m_options(options), m_out(out ? out : &std::cout) {
    // Escapes are for a person's terminal, never inside data.
    if (m_options.format != Format::Table) m_options.color = false;
}

std::string Output::paint(std::string_view text, Style style) const {
    if (!m_options.color || text.empty()) return std::string(text);
    return Escapes(style) + std::string(text) + "\x1b[0m";
}

std::string Output::swatch(std::string_view rgb) const {
    if (!m_options.color || rgb.size() != 7 || rgb[0] != '#') return "";
    int v[3];
    for (size_t i = 0; i < 3; ++i) {
        const int high = HexDigit(rgb[1 + 2 * i]), low = HexDigit(rgb[2 + 2 * i]);
        if (high < 0 || low < 0) return "";
        v[i] = high * 16 + low;
    }
    return fmt::format("\x1b[48;2;{};{};{}m  \x1b[0m", v[0], v[1], v[2]);
}

std::string Output::record(const std::vector<std::string>& fields) const {
    const bool csv = m_options.format == Format::Csv;
    std::string out;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i) out += csv ? ',' : '\t';
        out += csv ? CsvField(fields[i]) : TsvField(fields[i]);
    }
    out += '\n';
    return out;
}

void Output::table(const std::vector<std::string>& header, const std::vector<std::vector<std::string>>& rows) const {
    switch (m_options.format) {
        case Format::Json: {
            Json all = Json::array();
            for (const auto& row : rows) {
                Json item = Json::object();
                for (size_t c = 0; c < header.size() && c < row.size(); ++c) item[header[c]] = row[c];
                all.push_back(std::move(item));
            }
            *m_out << all.dump(2) << "\n";
            return;
        }
        case Format::Csv:
        case Format::Tsv:
            if (m_options.header) *m_out << record(header);
            for (const auto& row : rows) *m_out << record(row);
            return;
        case Format::Table: {
            std::vector<std::string> painted;
            for (const auto& h : header) painted.push_back(paint(h, Style::Header));
            *m_out << Aligned(m_options.header ? &painted : nullptr, rows, header.size());
            return;
        }
    }
}

void Output::list(const Json& items, const std::vector<std::string>& columns) const {
    if (json()) {
        *m_out << items.dump(2) << "\n";
        return;
    }
    if (items.empty() && forPeople()) {
        *m_out << "(none)\n";
        return;
    }
    std::vector<std::string> header = columns;
    if (header.empty() && !items.empty())
        for (const auto& [key, value] : items.front().items()) header.push_back(key);
    std::vector<std::vector<std::string>> rows;
    for (const auto& item : items) {
        std::vector<std::string> row;
        for (const auto& key : header) row.push_back(item.contains(key) ? Cell(item[key], !forPeople()) : "");
        rows.push_back(std::move(row));
    }
    if (!header.empty()) table(header, rows);
}

namespace {

// The field/value lines of `value` under the name `path`: a nested object
// or a list of objects (a contact's phones, an event's exceptions) gives one
// line per field, named by its path ("phones.0.phone_number"), so a script
// reads each detail on lines of its own instead of one packed cell.
void FlattenFields(const std::string& path, const Json& value, std::vector<std::pair<std::string, std::string>>* out) {
    const bool nested = value.is_object() ||
                        (value.is_array() && std::any_of(value.begin(), value.end(),
                                                         [](const Json& v) { return v.is_object() || v.is_array(); }));
    if (!nested || value.empty()) {
        out->emplace_back(path, Cell(value, true));
        return;
    }
    if (value.is_object()) {
        for (const auto& [key, v] : value.items()) FlattenFields(path + "." + key, v, out);
        return;
    }
    for (size_t i = 0; i < value.size(); ++i) FlattenFields(path + "." + std::to_string(i), value[i], out);
}

}  // namespace

void Output::fields(const Json& item) const {
    if (m_options.header) *m_out << record({"field", "value"});
    std::vector<std::pair<std::string, std::string>> lines;
    for (const auto& [key, value] : item.items()) FlattenFields(key, value, &lines);
    for (const auto& [field, value] : lines) *m_out << record({field, value});
}

void Output::object(const Json& item) const {
    if (json()) {
        *m_out << item.dump(2) << "\n";
        return;
    }
    if (!forPeople()) return fields(item);
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
    if (json())
        *m_out << (result.is_null() ? Json{{"ok", true}} : result).dump(2) << "\n";
    else if (forPeople())
        *m_out << message << "\n";
    else if (result.is_object())
        fields(result);
    else
        *m_out << record({message});
}

void Output::text(const std::string& text, const Json& value) const {
    if (json())
        *m_out << value.dump(2) << "\n";
    else
        *m_out << text;
}

}  // namespace calyra::cli
