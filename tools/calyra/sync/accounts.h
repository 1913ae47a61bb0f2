// The DAV accounts `calyra sync` talks to, and which address book and
// calendars each database profile is bound to. They live in accounts.toml
// beside the client's config.toml (readable by its owner only):
//
//   [accounts.home]
//   url = "https://dav.example/"
//   user = "anna"
//   password_command = "pass show dav/anna"   # optional
//   allow_insecure = false
//
//   [[accounts.home.bind]]
//   database = "/home/anna/pim.db"
//   profile = "Phone"
//   address_book = "https://dav.example/anna/contacts/"
//   calendars = ["https://dav.example/anna/calendar/"]
//
// No password is ever stored: either the command that prints it is kept
// and run each time, or the person is asked on the terminal without echo.
//
// Ownership: plain values. Thread-safety: one thread.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace calyra::sync {

struct Binding {
    std::string database;                // absolute path of the database file
    std::string profile;                 // profile name in it
    std::string addressBook;             // collection URL, empty: none
    std::vector<std::string> calendars;  // calendar and task-list URLs
};

struct Account {
    std::string name;
    std::string url;
    std::string user;
    std::string passwordCommand;  // empty: ask on the terminal
    bool allowInsecure = false;
    std::vector<Binding> bindings;

    // The binding of `profile` in `database`, or null.
    const Binding* bindingFor(std::string_view database, std::string_view profile) const;
};

class AccountStore {
public:
    // Reads `file`; a missing file is an empty store. Throws
    // cli::ClientError naming the file and the key when it is malformed.
    static AccountStore Load(const std::filesystem::path& file);
    // accounts.toml in the folder of the client's config file.
    static std::filesystem::path DefaultFile();

    // Writes the whole store (beside the file, then renamed; mode 0600).
    void save() const;

    const std::vector<Account>& accounts() const { return m_accounts; }
    const Account* find(std::string_view name) const;
    Account* find(std::string_view name);
    // Throws ClientError (status 2) for a name that is taken, malformed or
    // one of the words `calyra sync` already uses.
    void add(Account account);
    // False when there was no such account.
    bool remove(std::string_view name);

private:
    std::filesystem::path m_file;
    std::vector<Account> m_accounts;
};

// A profile's contacts sync with one address book, and its events and
// tasks with the calendars of one account: an item made here goes to the
// first collection bound for its kind, so with two accounts it would be
// sent to both. Throws ClientError (status 1), naming the account that
// already holds the kind, when `binding` (for account `name`) would bind a
// kind of its profile that another account binds.
void CheckBindingIsAlone(const AccountStore& store, std::string_view name, const Binding& binding);

// Throws ClientError (status 2) unless `name` can name an account: letters,
// digits, '-', '_', at most 64, and not a word of the `sync` command.
void CheckAccountName(std::string_view name);

// The account's password: from its command (run by /bin/sh, first line of
// its output, at most 30 s), else asked on the terminal without echo.
// Throws ClientError when neither works; the text never holds the password.
std::string ReadPassword(const Account& account);

}  // namespace calyra::sync
