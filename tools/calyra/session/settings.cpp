#include "session/settings.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>

#include <toml++/toml.h>

#include "calendar/time_zone.h"
#include "session/client_error.h"
#include "session/session.h"

namespace calyra::cli {
namespace {

// A setting: its key, its built-in default and how a value is read (the
// value as it is kept, or std::nullopt when it is not usable).
struct SettingKind {
    const char* key;
    const char* fallback;
    const char* what;  // for messages: "a zone name such as Europe/Berlin"
    std::optional<std::string> (*read)(const std::string& value);
};

std::optional<std::string> AnyText(const std::string& value) { return value; }
// Kept as the zone database spells it, whatever case was typed.
std::optional<std::string> KnownZone(const std::string& value) {
    const auto zone = calendar::TimeZone::Find(value);
    return zone ? std::optional(zone->name()) : std::nullopt;
}
std::optional<std::string> OneOf(const std::string& value, std::initializer_list<const char*> choices) {
    for (const char* choice : choices)
        if (value == choice) return value;
    return std::nullopt;
}
std::optional<std::string> WeekStart(const std::string& value) { return OneOf(value, {"mon", "sun"}); }
std::optional<std::string> DateFormat(const std::string& value) { return OneOf(value, {"iso", "dmy", "mdy"}); }

constexpr SettingKind kKinds[] = {
    {"database", "", "a file name", AnyText},
    {"profile", "", "a profile name or ID", AnyText},
    {"time_zone", "", "a zone name such as Europe/Berlin", KnownZone},
    {"week_start", "mon", "mon or sun", WeekStart},
    {"date_format", "iso", "iso (2027-03-05), dmy (05.03.2027) or mdy (03/05/2027)", DateFormat},
};

const SettingKind* KindOf(std::string_view key) {
    for (const auto& kind : kKinds)
        if (key == kind.key) return &kind;
    return nullptr;
}

std::string KnownKeys() {
    std::string out;
    for (const auto& kind : kKinds) out += std::string(out.empty() ? "" : ", ") + kind.key;
    return out;
}

toml::table ReadTable(const std::filesystem::path& file) {
    try {
        return toml::parse_file(file.string());
    } catch (const toml::parse_error& e) {
        const auto& at = e.source().begin;
        throw ClientError("cannot read " + file.string() + " (line " + std::to_string(at.line) + ", column " +
                          std::to_string(at.column) + "): " + std::string(e.description()));
    }
}

}  // namespace

std::filesystem::path Settings::DefaultFile() {
    std::filesystem::path base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
        base = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = std::filesystem::path(home) / ".config";
    else
        base = ".";
    return base / "calyra" / "config.toml";
}

Settings Settings::Load(const std::filesystem::path& file) {
    Settings settings;
    settings.m_file = file;
    for (const auto& kind : kKinds) settings.m_values[kind.key] = {kind.fallback, "default"};
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) return settings;
    const toml::table table = ReadTable(file);
    for (const auto& [key, node] : table) {
        const SettingKind* kind = KindOf(key.str());
        if (!kind)
            throw ClientError(file.string() + ": unknown setting \"" + std::string(key.str()) +
                              "\" (known: " + KnownKeys() + ")");
        const auto* text = node.as_string();
        if (!text) throw ClientError(file.string() + ": " + kind->key + " must be a quoted text: " + kind->what);
        try {
            settings.overlay(kind->key, text->get(), "config file");
        } catch (const ClientError& e) {
            throw ClientError(file.string() + ": " + e.what());
        }
    }
    return settings;
}

void Settings::overlay(std::string_view key, const std::string& value, const std::string& source) {
    const SettingKind* kind = KindOf(key);
    if (!kind) throw ClientError("unknown setting \"" + std::string(key) + "\" (known: " + KnownKeys() + ")", 2);
    if (value.empty()) return;
    auto kept = kind->read(value);
    if (!kept) throw ClientError(std::string(kind->key) + " \"" + value + "\" is not " + kind->what, 2);
    m_values[kind->key] = {std::move(*kept), source};
}

const Setting& Settings::get(std::string_view key) const {
    const auto it = m_values.find(key);
    if (it == m_values.end()) throw ClientError("unknown setting \"" + std::string(key) + "\"", 2);
    return it->second;
}

Json Settings::json() const {
    Json out = Json::array();
    for (const auto& kind : kKinds) {
        const Setting& s = get(kind.key);
        out.push_back({{"setting", kind.key},
                       {"value", s.value.empty() ? Json() : Json(s.value)},
                       {"source", s.source == "config file" ? s.source + " " + m_file.string() : s.source}});
    }
    return out;
}

void Settings::Store(const std::filesystem::path& file, std::string_view key, const std::string& value) {
    Settings check;
    check.overlay(key, value, "check");  // refuses unknown keys and unusable values
    const std::string kept = value.empty() ? value : check.get(key).value;
    std::error_code ec;
    toml::table table;
    if (std::filesystem::exists(file, ec)) table = ReadTable(file);
    if (value.empty())
        table.erase(key);
    else
        table.insert_or_assign(key, kept);
    if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), ec);
    const auto temporary = std::filesystem::path(file.string() + ".calyra-tmp");
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) throw ClientError("cannot write " + file.string() + ": " + std::strerror(errno));
        out << table << "\n";
        out.close();
        if (!out) {
            std::filesystem::remove(temporary, ec);
            throw ClientError("cannot write " + file.string() + ": " + std::strerror(errno));
        }
    }
    std::filesystem::rename(temporary, file, ec);
    if (ec) {
        const std::string why = ec.message();
        std::filesystem::remove(temporary, ec);
        throw ClientError("cannot write " + file.string() + ": " + why);
    }
}

Settings EffectiveSettings(const SettingsOverrides& overrides) {
    Settings settings = Settings::Load(Settings::DefaultFile());
    // $TZ describes the whole system; a zone chosen for calyra in its own
    // file is the more specific choice. $CALYRA_DB is calyra's own.
    if (const char* tz = std::getenv("TZ"); tz && *tz && settings.get("time_zone").source == "default") {
        const std::string zone = tz[0] == ':' ? tz + 1 : tz;
        if (calendar::TimeZone::Find(zone)) settings.overlay("time_zone", zone, "$TZ");
    }
    if (const char* db = std::getenv("CALYRA_DB"); db && *db) settings.overlay("database", db, "$CALYRA_DB");
    settings.overlay("database", overrides.database, "--db");
    settings.overlay("profile", overrides.profile, "--profile");
    settings.overlay("time_zone", overrides.timeZone, "--tz");
    settings.overlay("week_start", overrides.weekStart, "--week-start");
    if (settings.get("database").value.empty()) settings.overlay("database", DefaultDatabase().string(), "default");
    return settings;
}

const std::vector<std::string>& Settings::Keys() {
    static const std::vector<std::string> keys = [] {
        std::vector<std::string> out;
        for (const auto& kind : kKinds) out.emplace_back(kind.key);
        return out;
    }();
    return keys;
}

}  // namespace calyra::cli
