// A person's phone as a third-party CalDAV client: python3-caldav through
// caldav_phone.py, loading items into one calendar, editing one by UID and
// reading every item back. The password reaches it on standard input, never
// on its command line; every run is bounded by `timeout`.
//
// Ownership: owns its files under the test's temporary folder.
// Thread-safety: none.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace calyra::test {

class CaldavPhone {
public:
    CaldavPhone(const std::filesystem::path& dir, std::string calendarUrl, std::string user)
        : m_dir(dir / "caldav-phone"), m_url(std::move(calendarUrl)), m_user(std::move(user)) {
        std::filesystem::create_directories(m_dir);
        std::ofstream(m_dir / "password") << "phone-password\n";
    }

    // Stores each text as a new item.
    void put(const std::vector<std::string>& texts) {
        std::string files;
        for (const std::string& text : texts) files += " '" + file(text).string() + "'";
        run("put" + files);
    }
    // Replaces the item with that UID.
    void edit(const std::string& uid, const std::string& text) {
        run("edit '" + uid + "' '" + file(text).string() + "'");
    }
    // Every item the server holds, by UID.
    std::map<std::string, std::string> items() {
        run("dump >'" + (m_dir / "dump.json").string() + "'");
        std::ifstream in(m_dir / "dump.json");
        return nlohmann::json::parse(in).get<std::map<std::string, std::string>>();
    }

private:
    std::filesystem::path file(const std::string& text) {
        const auto path = m_dir / ("item" + std::to_string(m_files++) + ".ics");
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    void run(const std::string& what) {
        const std::string command = "timeout 60 /usr/bin/python3 '" CALYRA_DAV_CALDAV_PHONE "' --url '" + m_url +
                                    "' --user '" + m_user + "' " + what + " <'" + (m_dir / "password").string() +
                                    "' 2>>'" + (m_dir / "log").string() + "'";
        if (std::system(command.c_str()) != 0)
            throw std::runtime_error("caldav_phone " + what + " failed:\n" + FileBytes(m_dir / "log"));
    }

    std::filesystem::path m_dir;
    std::string m_url, m_user;
    int m_files = 0;
};

}  // namespace calyra::test
