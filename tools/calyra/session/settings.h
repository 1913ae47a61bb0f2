// The client's settings: the default database, profile, time zone, first
// day of the week and date format, each with where its value came from, so
// `calyra config` can say why the client behaves as it does.
//
// Sources, weakest first: the built-in default, $TZ, the config file
// ($XDG_CONFIG_HOME/calyra/config.toml, else ~/.config/calyra/config.toml),
// $CALYRA_DB, the command line. The config file is TOML with one top-level
// key per setting:
//
//   database = "/home/anna/pim.db"
//   profile = "Phone"
//   time_zone = "Europe/Berlin"
//   week_start = "mon"
//   date_format = "iso"
//
// A key the client does not know, or a value it cannot use, is an error
// naming the file and the key: a typo must not silently fall back to a
// default.
//
// Ownership: plain values. Thread-safety: one thread.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "output/output.h"

namespace calyra::cli {

struct Setting {
    std::string value;   // empty: not set anywhere
    std::string source;  // "default", "config file", "$TZ", "--tz" ...
};

class Settings {
public:
    // The built-in defaults, overlaid with `file` when it exists. Throws
    // ClientError (status 1) naming the file when it cannot be read or
    // holds an unknown key or an unusable value.
    static Settings Load(const std::filesystem::path& file);
    // $XDG_CONFIG_HOME/calyra/config.toml, else ~/.config/calyra/config.toml.
    static std::filesystem::path DefaultFile();

    // Overlays `value` from `source` when it is not empty. Throws
    // ClientError (status 2) when the value is not usable for the key.
    void overlay(std::string_view key, const std::string& value, const std::string& source);
    const Setting& get(std::string_view key) const;
    const std::filesystem::path& file() const { return m_file; }

    // Every setting with its value and source, in a fixed order.
    Json json() const;

    // Writes `key = value` into `file`, keeping its other keys; an empty
    // value removes the key. The file is replaced whole (written beside it
    // and renamed), so a failed write leaves the old one. Throws ClientError
    // naming the file or the key.
    static void Store(const std::filesystem::path& file, std::string_view key, const std::string& value);

    // The keys, in the order `config` shows them.
    static const std::vector<std::string>& Keys();

private:
    std::filesystem::path m_file;
    std::map<std::string, Setting, std::less<>> m_values;
};

// What the command line says; empty: not given.
struct SettingsOverrides {
    std::string database, profile, timeZone, weekStart;
};

// The settings the client runs with: the config file, then the
// environment, then the command line. $TZ is weaker than the config file's
// time_zone (it describes the whole system; the file is calyra's own
// choice); $CALYRA_DB is stronger than the file's database. Throws as Load.
Settings EffectiveSettings(const SettingsOverrides& overrides);

}  // namespace calyra::cli
