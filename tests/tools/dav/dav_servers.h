// Real CardDAV/CalDAV servers for tests: Radicale and Xandikos started on
// 127.0.0.1 at a free port with storage in the test's temporary folder,
// and a fault-injecting proxy (fault_proxy.py) in front of either.
//
//   TempDir dir;
//   auto server = DavServer::Start(ServerKind::Radicale, dir.path());
//   // server->url() is "http://127.0.0.1:PORT/"; the user "alice" owns
//   // server->addressBookUrl() and server->calendarUrl().
//
// Every wait is bounded in count and time. The processes are stopped by
// their PID when the object goes (SIGTERM, then SIGKILL), and die with the
// test process if it is killed (PR_SET_PDEATHSIG), so a failing test leaves
// nothing running.
//
// Ownership: a DavServer owns its process. Thread-safety: none.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "dav/dav_client.h"
#include "support/child_process.h"

namespace calyra::test {

enum class ServerKind { Radicale, Xandikos };

inline const char* ServerName(ServerKind kind) { return kind == ServerKind::Radicale ? "Radicale" : "Xandikos"; }

// The UID of a vCard or iCalendar text; empty when it has none.
inline std::string UidOf(const std::string& text) {
    const size_t at = text.find("\nUID:");
    if (at == std::string::npos) return {};
    return text.substr(at + 5, text.find_first_of("\r\n", at + 5) - at - 5);
}

// A port nothing listens on now: bound to 127.0.0.1 and released. The
// servers cannot be told to take port 0, so a collision is possible and
// Start retries.
inline int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return 0;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof addr;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length) == 0)
        port = ntohs(addr.sin_port);
    ::close(fd);
    return port;
}

// Waits up to `seconds` (polled every 50 ms) for `port` to accept.
inline bool WaitListening(ChildProcess& process, int port, int seconds) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    for (int i = 0; i < seconds * 20; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        const bool accepted = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
        if (fd >= 0) ::close(fd);
        if (accepted) return true;
        if (!process.running()) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

class DavServer {
public:
    static constexpr const char* kUser = "alice";

    // Starts the server and makes alice's address book and calendar.
    // Throws with the server's log when it does not come up.
    // With `tls` (Radicale only) it serves https with a self-signed
    // certificate made for the test, one no client should accept.
    static std::unique_ptr<DavServer> Start(ServerKind kind, const std::filesystem::path& dir, bool tls = false) {
        auto server = std::unique_ptr<DavServer>(new DavServer(kind));
        server->m_tls = tls;
        const std::filesystem::path storage = dir / (std::string(ServerName(kind)) + "-storage");
        const std::filesystem::path log = dir / (std::string(ServerName(kind)) + ".log");
        for (int attempt = 0; attempt < 5; ++attempt) {
            const int port = FreePort();
            std::vector<std::string> argv;
            if (kind == ServerKind::Radicale) {
                // -C with no file: no system or user configuration is read.
                argv = {"/usr/bin/radicale", "-C", "--server-hosts", "127.0.0.1:" + std::to_string(port)};
                argv.insert(argv.end(), {"--storage-filesystem-folder", storage.string(), "--auth-type", "none"});
                argv.insert(argv.end(), {"--rights-type", "owner_only"});
                if (tls) {
                    const std::string cert = (dir / "cert.pem").string(), key = (dir / "key.pem").string();
                    ChildProcess openssl({"/usr/bin/openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days",
                                          "1", "-subj", "/CN=127.0.0.1", "-keyout", key, "-out", cert},
                                         dir / "openssl.log", false);
                    for (int i = 0; i < 200 && openssl.running(); ++i)
                        std::this_thread::sleep_for(std::chrono::milliseconds(50));
                    argv.insert(argv.end(), {"--ssl", "--certificate", cert, "--key", key});
                }
            } else {
                argv = {"/usr/bin/xandikos", "-d", storage.string(), "-l", "127.0.0.1", "-p", std::to_string(port)};
                argv.insert(argv.end(), {"--defaults", "--current-user-principal", std::string("/") + kUser + "/"});
            }
            server->m_process = std::make_unique<ChildProcess>(argv, log, false);
            if (WaitListening(*server->m_process, port, 30)) {
                server->m_port = port;
                break;
            }
            server->m_process->Stop();  // most likely the port was taken meanwhile
        }
        if (!server->m_port) {
            std::ifstream in(log);
            std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            throw std::runtime_error(std::string(ServerName(kind)) + " did not start:\n" + text);
        }
        server->makeCollections();
        return server;
    }

    std::string url() const {
        return std::string(m_tls ? "https" : "http") + "://127.0.0.1:" + std::to_string(m_port) + "/";
    }
    std::string principalUrl() const { return url() + kUser + "/"; }
    std::string addressBookUrl() const {
        return m_kind == ServerKind::Radicale ? principalUrl() + "contacts/" : principalUrl() + "contacts/addressbook/";
    }
    std::string calendarUrl() const {
        return m_kind == ServerKind::Radicale ? principalUrl() + "calendar/" : principalUrl() + "calendars/calendar/";
    }
    dav::AccountOptions account() const { return account(url()); }
    dav::AccountOptions account(const std::string& at) const {
        return {.url = at, .user = kUser, .password = [] { return std::string("not-checked"); }, .http = {}};
    }

private:
    explicit DavServer(ServerKind kind) : m_kind(kind) {}

    // Xandikos made them with --defaults; Radicale makes collections only
    // when asked.
    void makeCollections() {
        if (m_kind != ServerKind::Radicale || m_tls) return;
        dav::HttpClient http(url(), kUser, [] { return std::string("not-checked"); });
        const std::string head = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";
        auto check = [](const dav::HttpResponse& r, const std::string& what) {
            if (r.status != 201)
                throw std::runtime_error(what + " answered " + std::to_string(r.status) + ": " + r.body);
        };
        // The principal collection is made on first sight of the user.
        http.send({"PROPFIND", principalUrl(), {{"Depth", "0"}}, ""});
        check(http.send({"MKCOL",
                         addressBookUrl(),
                         {{"Content-Type", "application/xml"}},
                         head + "<d:mkcol xmlns:d=\"DAV:\" xmlns:card=\"urn:ietf:params:xml:ns:carddav\"><d:set>"
                                "<d:prop><d:resourcetype><d:collection/><card:addressbook/></d:resourcetype>"
                                "<d:displayname>Contacts</d:displayname></d:prop></d:set></d:mkcol>"}),
              "MKCOL address book");
        check(http.send({"MKCALENDAR",
                         calendarUrl(),
                         {{"Content-Type", "application/xml"}},
                         head + "<cal:mkcalendar xmlns:d=\"DAV:\" xmlns:cal=\"urn:ietf:params:xml:ns:caldav\">"
                                "<d:set><d:prop><d:displayname>Calendar</d:displayname>"
                                "<cal:supported-calendar-component-set><cal:comp name=\"VEVENT\"/>"
                                "<cal:comp name=\"VTODO\"/></cal:supported-calendar-component-set></d:prop>"
                                "</d:set></cal:mkcalendar>"}),
              "MKCALENDAR");
    }

    ServerKind m_kind;
    bool m_tls = false;
    int m_port = 0;
    std::unique_ptr<ChildProcess> m_process;
};

// fault_proxy.py in front of `upstream`: it picks its own port (it can bind
// port 0) and prints it first. `faults` are its options.
class FaultProxy {
public:
    FaultProxy(const std::string& upstream, const std::vector<std::string>& faults, const std::filesystem::path& dir) {
        std::vector<std::string> argv = {"/usr/bin/python3",
                                         CALYRA_DAV_FAULT_PROXY,
                                         "--upstream",
                                         upstream,
                                         "--log",
                                         (dir / "proxy-requests.log").string()};
        argv.insert(argv.end(), faults.begin(), faults.end());
        m_process = std::make_unique<ChildProcess>(argv, dir / "proxy.log");
        // The first line is the port, within 30 s.
        std::string line;
        m_process->ReadLine(&line, 30000);
        m_port = std::atoi(line.c_str());
        if (m_port <= 0) throw std::runtime_error("the fault proxy did not start");
        m_log = dir / "proxy-requests.log";
    }

    std::string url() const { return "http://127.0.0.1:" + std::to_string(m_port) + "/"; }
    // Each request the proxy saw, "METHOD /path", then "if-match" or
    // "if-none-match" when the request had that condition, in order.
    std::vector<std::string> requests() const {
        std::vector<std::string> out;
        std::ifstream in(m_log);
        for (std::string line; std::getline(in, line);) out.push_back(line);
        return out;
    }

private:
    int m_port = 0;
    std::filesystem::path m_log;
    std::unique_ptr<ChildProcess> m_process;
};

}  // namespace calyra::test
