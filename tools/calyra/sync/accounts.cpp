#include "sync/accounts.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <fstream>
#include <set>

#include <toml++/toml.h>

#include "session/client_error.h"
#include "session/settings.h"

namespace calyra::sync {
namespace {

using cli::ClientError;

// The words `calyra sync` already gives a meaning.
const std::set<std::string, std::less<>> kReservedNames{"options",  "albums",      "synced-albums", "synced-podcasts",
                                                        "accounts", "collections", "bind",          "help"};

std::string Text(const toml::node_view<const toml::node>& node, const std::string& where, bool required) {
    if (!node) {
        if (required) throw ClientError(where + " is missing");
        return {};
    }
    const auto* value = node.as_string();
    if (!value) throw ClientError(where + " must be a text");
    return value->get();
}

Binding ReadBinding(const toml::table& t, const std::string& where) {
    Binding b;
    const toml::node_view<const toml::node> view(t);
    b.database = Text(view["database"], where + ".database", true);
    b.profile = Text(view["profile"], where + ".profile", true);
    b.addressBook = Text(view["address_book"], where + ".address_book", false);
    if (const auto* calendars = t["calendars"].as_array()) {
        for (const auto& c : *calendars) {
            const auto* url = c.as_string();
            if (!url) throw ClientError(where + ".calendars must be a list of texts");
            b.calendars.push_back(url->get());
        }
    } else if (t.contains("calendars")) {
        throw ClientError(where + ".calendars must be a list of texts");
    }
    return b;
}

// Writes `text` to `file` with mode 0600, through a file beside it.
void WritePrivate(const std::filesystem::path& file, const std::string& text) {
    std::error_code ec;
    std::filesystem::create_directories(file.parent_path(), ec);
    const std::filesystem::path temporary = file.string() + ".calyra-tmp";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) throw ClientError("cannot write " + temporary.string());
    ::fchmod(fd, 0600);
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n <= 0) {
            ::close(fd);
            std::filesystem::remove(temporary, ec);
            throw ClientError("cannot write " + temporary.string());
        }
        done += static_cast<size_t>(n);
    }
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    std::filesystem::rename(temporary, file, ec);
    if (!synced || ec) {
        std::filesystem::remove(temporary, ec);
        throw ClientError("cannot replace " + file.string());
    }
}

std::string FirstLine(std::string text) {
    const size_t end = text.find_first_of("\r\n");
    if (end != std::string::npos) text.resize(end);
    return text;
}

std::string PasswordFromCommand(const Account& account) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) throw ClientError("cannot run the password command");
    const pid_t pid = ::fork();
    if (pid < 0) throw ClientError("cannot run the password command");
    if (pid == 0) {
        ::dup2(out[1], 1);
        const char* argv[] = {"/bin/sh", "-c", account.passwordCommand.c_str(), nullptr};
        ::execv(argv[0], const_cast<char* const*>(argv));
        ::_exit(127);
    }
    ::close(out[1]);
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    bool timedOut = false;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) {
            timedOut = true;
            break;
        }
        pollfd p{out[0], POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
        std::array<char, 512> buffer;
        const ssize_t n = ::read(out[0], buffer.data(), buffer.size());
        if (n <= 0) break;
        if (text.size() < 64 * 1024) text.append(buffer.data(), static_cast<size_t>(n));
    }
    ::close(out[0]);
    if (timedOut) ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    std::string password = FirstLine(std::move(text));
    const std::string which = "the password command of account " + account.name;
    if (timedOut) throw ClientError(which + " did not finish within 30 s");
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw ClientError(which + " failed (exit status " +
                          std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) + ")");
    if (password.empty()) throw ClientError(which + " printed no password");
    return password;
}

std::string PasswordFromTerminal(const Account& account) {
    const int tty = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (tty < 0 || !::isatty(STDIN_FILENO)) {
        if (tty >= 0) ::close(tty);
        throw ClientError("account " + account.name +
                          " has no password command and there is no terminal to ask on (add one with "
                          "`calyra sync accounts add " +
                          account.name + " ... --password-command CMD`)");
    }
    const std::string prompt = "Password for " + account.user + " at account " + account.name + ": ";
    (void)!::write(tty, prompt.data(), prompt.size());
    termios saved{};
    const bool haveTermios = ::tcgetattr(tty, &saved) == 0;
    if (haveTermios) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(tty, TCSAFLUSH, &quiet);
    }
    std::string line;
    char c;
    while (line.size() < 4096 && ::read(tty, &c, 1) == 1 && c != '\n') line += c;
    if (haveTermios) ::tcsetattr(tty, TCSAFLUSH, &saved);
    (void)!::write(tty, "\n", 1);
    ::close(tty);
    return FirstLine(std::move(line));
}

}  // namespace

const Binding* Account::bindingFor(std::string_view database, std::string_view profile) const {
    for (const Binding& b : bindings)
        if (b.database == database && b.profile == profile) return &b;
    return nullptr;
}

void CheckBindingIsAlone(const AccountStore& store, std::string_view name, const Binding& binding) {
    for (const Account& other : store.accounts()) {
        if (other.name == name) continue;
        const Binding* theirs = other.bindingFor(binding.database, binding.profile);
        if (!theirs) continue;
        const char* kind = !binding.addressBook.empty() && !theirs->addressBook.empty() ? "contacts"
                           : !binding.calendars.empty() && !theirs->calendars.empty()   ? "events and tasks"
                                                                                        : nullptr;
        if (kind)
            throw ClientError("profile " + binding.profile + " of " + binding.database + " syncs its " + kind +
                                  " with account " + other.name + "; an item made here would go to both accounts " +
                                  "(bind it to one of them only)",
                              1);
    }
}

void CheckAccountName(std::string_view name) {
    if (name.empty() || name.size() > 64) throw ClientError("an account name has 1 to 64 characters", 2);
    for (char c : name)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_'))
            throw ClientError("account name '" + std::string(name) + "': use letters, digits, '-' and '_'", 2);
    if (kReservedNames.contains(name))
        throw ClientError("'" + std::string(name) + "' is a word of `calyra sync` and cannot name an account", 2);
}

std::filesystem::path AccountStore::DefaultFile() {
    return cli::Settings::DefaultFile().parent_path() / "accounts.toml";
}

AccountStore AccountStore::Load(const std::filesystem::path& file) {
    AccountStore store;
    store.m_file = file;
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) return store;
    toml::table root;
    try {
        root = toml::parse_file(file.string());
    } catch (const toml::parse_error& e) {
        throw ClientError(file.string() + ": " + std::string(e.description()));
    }
    for (const auto& [key, node] : root) {
        if (key.str() != "accounts")
            throw ClientError(file.string() + ": unknown key '" + std::string(key.str()) + "'");
    }
    const auto* accounts = root["accounts"].as_table();
    if (!accounts) return store;
    for (const auto& [key, node] : *accounts) {
        const std::string where = file.string() + ": accounts." + std::string(key.str());
        const auto* t = node.as_table();
        if (!t) throw ClientError(where + " must be a table");
        Account a;
        a.name = std::string(key.str());
        const toml::node_view<const toml::node> view(*t);
        a.url = Text(view["url"], where + ".url", true);
        a.user = Text(view["user"], where + ".user", false);
        a.passwordCommand = Text(view["password_command"], where + ".password_command", false);
        if (const auto* insecure = (*t)["allow_insecure"].as_boolean())
            a.allowInsecure = insecure->get();
        else if (t->contains("allow_insecure"))
            throw ClientError(where + ".allow_insecure must be true or false");
        if (t->contains("password"))
            throw ClientError(where + " holds a password in clear: remove it and use password_command");
        if (const auto* binds = (*t)["bind"].as_array()) {
            for (size_t i = 0; i < binds->size(); ++i) {
                const auto* bt = (*binds)[i].as_table();
                if (!bt) throw ClientError(where + ".bind must be a list of tables");
                a.bindings.push_back(ReadBinding(*bt, where + ".bind[" + std::to_string(i) + "]"));
            }
        }
        store.m_accounts.push_back(std::move(a));
    }
    return store;
}

void AccountStore::save() const {
    toml::table accounts;
    for (const Account& a : m_accounts) {
        toml::table t;
        t.insert("url", a.url);
        if (!a.user.empty()) t.insert("user", a.user);
        if (!a.passwordCommand.empty()) t.insert("password_command", a.passwordCommand);
        t.insert("allow_insecure", a.allowInsecure);
        if (!a.bindings.empty()) {
            toml::array binds;
            for (const Binding& b : a.bindings) {
                toml::table bt;
                bt.insert("database", b.database);
                bt.insert("profile", b.profile);
                if (!b.addressBook.empty()) bt.insert("address_book", b.addressBook);
                toml::array calendars;
                for (const auto& c : b.calendars) calendars.push_back(c);
                bt.insert("calendars", std::move(calendars));
                binds.push_back(std::move(bt));
            }
            t.insert("bind", std::move(binds));
        }
        accounts.insert(a.name, std::move(t));
    }
    toml::table root;
    root.insert("accounts", std::move(accounts));
    std::ostringstream text;
    text << "# calyra sync accounts (no passwords are kept here)\n" << root << "\n";
    WritePrivate(m_file, text.str());
}

const Account* AccountStore::find(std::string_view name) const {
    for (const Account& a : m_accounts)
        if (a.name == name) return &a;
    return nullptr;
}

Account* AccountStore::find(std::string_view name) {
    for (Account& a : m_accounts)
        if (a.name == name) return &a;
    return nullptr;
}

void AccountStore::add(Account account) {
    CheckAccountName(account.name);
    if (find(account.name)) throw ClientError("there is already an account named " + account.name, 2);
    m_accounts.push_back(std::move(account));
}

bool AccountStore::remove(std::string_view name) {
    const auto it =
        std::find_if(m_accounts.begin(), m_accounts.end(), [&](const Account& a) { return a.name == name; });
    if (it == m_accounts.end()) return false;
    m_accounts.erase(it);
    return true;
}

std::string ReadPassword(const Account& account) {
    return account.passwordCommand.empty() ? PasswordFromTerminal(account) : PasswordFromCommand(account);
}

}  // namespace calyra::sync
