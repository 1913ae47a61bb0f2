// A person's phone as a third-party CardDAV client: vdirsyncer syncing a
// folder of .vcf files with one address book. Tests load fixtures by
// writing files and syncing, make remote edits the same way, and read what
// the server holds back as files.
//
// The password reaches vdirsyncer through a command that reads a file, as
// it would for a person; every vdirsyncer run is bounded by `timeout`.
//
// Ownership: owns its folder under the test's temporary folder.
// Thread-safety: none.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>

#include "support/temp_dir.h"
#include "tools/dav/dav_servers.h"

namespace calyra::test {

class VdirsyncerPhone {
public:
    VdirsyncerPhone(const std::filesystem::path& dir, const std::string& addressBookUrl, const std::string& user)
        : m_dir(dir / "phone"), m_cards(m_dir / "contacts") {
        std::filesystem::create_directories(m_cards);
        std::filesystem::create_directories(m_dir / "status");
        std::ofstream(m_dir / "password") << "phone-password\n";
        std::ofstream(m_dir / "config") << "[general]\nstatus_path = \"" << (m_dir / "status").string()
                                        << "/\"\n\n[pair phone]\na = \"phone_local\"\nb = \"phone_remote\"\n"
                                           "collections = null\nconflict_resolution = \"b wins\"\n\n"
                                           "[storage phone_local]\ntype = \"filesystem\"\npath = \""
                                        << m_cards.string()
                                        << "/\"\nfileext = \".vcf\"\n\n[storage phone_remote]\ntype = \"carddav\"\n"
                                           "url = \""
                                        << addressBookUrl << "\"\nusername = \"" << user
                                        << "\"\npassword.fetch = [\"command\", \"cat\", \""
                                        << (m_dir / "password").string() << "\"]\n";
        run("discover");
    }

    // Writes the card as <name>.vcf and uploads it.
    void put(const std::string& name, const std::string& vcard) {
        std::ofstream(m_cards / (name + ".vcf"), std::ios::binary) << vcard;
        run("sync");
    }
    // Every card the server holds, by UID, after a sync.
    std::map<std::string, std::string> cards() {
        run("sync");
        std::map<std::string, std::string> out;
        for (const auto& entry : std::filesystem::directory_iterator(m_cards)) {
            const std::string text = FileBytes(entry.path());
            out[UidOf(text)] = text;
        }
        return out;
    }
    // Replaces the card with that UID and uploads the change.
    void edit(const std::string& uid, const std::string& vcard) {
        run("sync");
        for (const auto& entry : std::filesystem::directory_iterator(m_cards)) {
            if (UidOf(FileBytes(entry.path())) == uid) {
                std::ofstream(entry.path(), std::ios::binary | std::ios::trunc) << vcard;
                run("sync");
                return;
            }
        }
        throw std::runtime_error("the phone has no card " + uid);
    }

private:
    void run(const std::string& what) {
        const std::string command = "timeout 60 /usr/bin/vdirsyncer -c '" + (m_dir / "config").string() + "' " + what +
                                    " >>'" + (m_dir / "log").string() + "' 2>&1 </dev/null";
        if (std::system(command.c_str()) != 0)
            throw std::runtime_error("vdirsyncer " + what + " failed:\n" + FileBytes(m_dir / "log"));
    }

    std::filesystem::path m_dir, m_cards;
};

}  // namespace calyra::test
