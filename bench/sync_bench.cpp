// `calyra sync` at scale against Radicale (or Xandikos) on 127.0.0.1: ITEMS
// contacts and ITEMS events are written straight into Radicale's storage
// (as files, the way it keeps them) or PUT into Xandikos (which keeps a
// git history), then an initial sync and a sync with nothing changed are
// run. Each is measured by the CPU time the calyra
// process used (user + system, from wait4, so the server's and the
// machine's other load do not count), its peak memory, and the requests it
// sent per collection (counted by the logging proxy the server tests use).
//
//   calyra_bench_sync [ITEMS] [--xandikos] [--quiet-runs N] [--listing]
//
// (default 10000 items on Radicale, one sync with nothing changed; more
// runs of it show how much the machine's load moves its CPU time).
// --listing hides the server's sync-collection (the proxy drops its sync
// token), so every sync takes the full ETag listing instead.
//
// CALYRA_SYNC_BENCH_CLIENT names another calyra program to measure (a copy
// kept while the build goes on).
// CI's brief run of every benchmark (CALYRA_BENCH_REPS set, Google
// Benchmark's flags given) uses 20 items, so it only shows it still works.
// The server, the proxy and the storage live in a temporary folder that is
// removed at the end; the processes are stopped by their PID.
#include <sys/resource.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "dav/url.h"
#include "tools/dav/dav_servers.h"

namespace {

using calyra::test::DavServer;
using calyra::test::FaultProxy;
using calyra::test::ServerKind;

struct Measured {
    int status = -1;
    double cpuSeconds = 0;
    long maxRssKiB = 0;
};

// Runs calyra with `args`, output to `log`, and measures it.
Measured RunCalyra(const std::string& db, const std::vector<std::string>& args, const std::filesystem::path& log) {
    const char* client = std::getenv("CALYRA_SYNC_BENCH_CLIENT");
    std::vector<std::string> argv = {client ? client : CALYRA_CLIENT_PATH, "--db", db};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> raw;
    for (auto& a : argv) raw.push_back(a.data());
    raw.push_back(nullptr);
    std::fflush(stdout);
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::FILE* out = std::freopen(log.c_str(), "a", stdout);
        if (!out || !std::freopen(log.c_str(), "a", stderr) || !std::freopen("/dev/null", "r", stdin)) ::_exit(127);
        ::execv(raw[0], raw.data());
        ::_exit(127);
    }
    Measured m;
    int status = 0;
    rusage usage{};
    if (pid < 0 || ::wait4(pid, &status, 0, &usage) != pid) return m;
    m.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    m.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                   static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    m.maxRssKiB = usage.ru_maxrss;
    return m;
}

void Write(const std::filesystem::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
}

std::string Card(int i) {
    const std::string n = std::to_string(i);
    return "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:bench-card-" + n + "\r\nFN:First" + n + " Last" + n + "\r\nN:Last" + n +
           ";First" + n + ";;;\r\nTEL;TYPE=CELL:+49 30 " + std::to_string(1000000 + i) + "\r\nEMAIL:person" + n +
           "@example.org\r\nX-BENCH-LABEL:kept\r\nEND:VCARD\r\n";
}

std::string Event(int i) {
    const std::string n = std::to_string(i);
    char day[32];
    std::snprintf(day, sizeof day, "2026%02d%02dT%02d0000Z", 1 + i % 12, 1 + i % 28, 8 + i % 10);
    char end[32];
    std::snprintf(end, sizeof end, "2026%02d%02dT%02d3000Z", 1 + i % 12, 1 + i % 28, 8 + i % 10);
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//bench//EN\r\nBEGIN:VEVENT\r\nUID:bench-event-" + n +
           "\r\nDTSTAMP:20260101T000000Z\r\nDTSTART:" + day + "\r\nDTEND:" + end + "\r\nSUMMARY:Meeting " + n +
           "\r\nLOCATION:Room " + std::to_string(i % 40) + (i % 10 == 0 ? "\r\nRRULE:FREQ=WEEKLY;COUNT=10" : "") +
           "\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
}

// Requests per collection path and method since `from`.
std::map<std::string, size_t> Counts(const std::vector<std::string>& log, size_t from, const std::string& book,
                                     const std::string& calendar) {
    std::map<std::string, size_t> out;
    for (size_t i = from; i < log.size(); ++i) {
        const std::string& line = log[i];
        const std::string method = line.substr(0, line.find(' '));
        const std::string where = line.find(" " + book) != std::string::npos       ? "contacts"
                                  : line.find(" " + calendar) != std::string::npos ? "calendar"
                                                                                   : "other";
        ++out[where + " " + method];
    }
    return out;
}

// The last line calyra printed: its summary.
std::string LastLine(const std::filesystem::path& log) {
    std::ifstream in(log);
    std::string line, last;
    while (std::getline(in, line))
        if (!line.empty()) last = line;
    return last;
}

void Report(const char* what, const Measured& m, const std::map<std::string, size_t>& counts,
            const std::filesystem::path& log) {
    std::printf("%-23s exit %d, CPU %.2f s, peak memory %.1f MiB: %s\n", what, m.status, m.cpuSeconds,
                static_cast<double>(m.maxRssKiB) / 1024.0, LastLine(log).c_str());
    for (const auto& [key, n] : counts) std::printf("  %-28s %zu\n", key.c_str(), n);
}

}  // namespace

int main(int argc, char** argv) {
    int items = std::getenv("CALYRA_BENCH_REPS") ? 20 : 10000;
    ServerKind kind = ServerKind::Radicale;
    int quietRuns = 1;
    std::vector<std::string> faults = {"--lifetime", "7200", "--upstream-timeout", "1200"};
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--xandikos")
            kind = ServerKind::Xandikos;
        else if (arg == "--listing")
            faults.push_back("--hide-sync-token");
        else if (arg == "--quiet-runs" && i + 1 < argc)
            quietRuns = std::atoi(argv[++i]);
        else if (!arg.starts_with("--"))
            items = std::atoi(argv[i]);
    }
    if (items <= 0 || items > 1000000 || quietRuns <= 0 || quietRuns > 100) {
        std::fprintf(stderr, "usage: calyra_bench_sync [ITEMS] [--xandikos] [--quiet-runs N] [--listing]\n");
        return 2;
    }
    char pattern[] = "/tmp/calyra-sync-bench-XXXXXX";
    if (!::mkdtemp(pattern)) return 1;
    const std::filesystem::path dir = pattern;
    int result = 0;
    try {
        ::setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
        auto server = DavServer::Start(kind, dir);
        FaultProxy proxy(server->url(), faults, dir);
        const std::string book = calyra::dav::UrlPath(server->addressBookUrl());
        const std::string calendar = calyra::dav::UrlPath(server->calendarUrl());
        calyra::dav::AccountOptions patient = server->account();
        patient.http.stallSeconds = patient.http.totalTimeoutSeconds = 3600;
        calyra::dav::DavClient warm(patient);
        const std::filesystem::path root = dir / "Radicale-storage" / "collection-root";
        for (int i = 0; i < items; ++i) {
            const std::string n = std::to_string(i);
            if (kind == ServerKind::Xandikos) {
                warm.put(book + "c" + n + ".vcf", Card(i), calyra::dav::CollectionKind::AddressBook, "");
                warm.put(calendar + "e" + n + ".ics", Event(i), calyra::dav::CollectionKind::Calendar, "");
                continue;
            }
            Write(root / book.substr(1) / ("c" + n + ".vcf"), Card(i));
            Write(root / calendar.substr(1) / ("e" + n + ".ics"), Event(i));
        }
        // Radicale reads a collection's new files into its cache on first
        // sight, which takes longer than the proxy waits: done here, once,
        // directly, and not measured.
        for (const std::string& url : {server->addressBookUrl(), server->calendarUrl()}) {
            warm.listItems(url);
            warm.syncCollection(url, "");
        }
        const std::string db = (dir / "pim.db").string();
        const std::filesystem::path log = dir / "calyra.log";
        for (const std::vector<std::string>& setup :
             {std::vector<std::string>{"profiles", "add", "Bench"},
              {"sync", "accounts", "add", "bench", "--url", proxy.url(), "--user", DavServer::kUser,
               "--password-command", "echo unused"},
              {"sync", "bind", "bench", "--addressbook", book, "--calendar", calendar}})
            if (RunCalyra(db, setup, log).status != 0) throw std::runtime_error("setup failed:\n" + LastLine(log));

        std::printf("%d contacts and %d events on %s\n", items, items, ServerName(kind));
        size_t seen = proxy.requests().size();
        const Measured first = RunCalyra(db, {"sync"}, log);
        auto requests = proxy.requests();
        Report("initial sync", first, Counts(requests, seen, book, calendar), log);
        bool quietFailed = false;
        for (int run = 0; run < quietRuns; ++run) {
            seen = requests.size();
            const Measured quiet = RunCalyra(db, {"sync"}, log);
            requests = proxy.requests();
            Report("sync, nothing changed", quiet, Counts(requests, seen, book, calendar), log);
            quietFailed = quietFailed || quiet.status != 0;
        }
        // One event edited here: the sync sends that one and must not read
        // the whole calendar to do it (record IDs count from 1).
        if (RunCalyra(db, {"events", "edit", "1", "--subject", "Edited"}, log).status != 0)
            throw std::runtime_error("edit failed:\n" + LastLine(log));
        seen = requests.size();
        const Measured edited = RunCalyra(db, {"sync"}, log);
        requests = proxy.requests();
        Report("sync, one event edited", edited, Counts(requests, seen, book, calendar), log);
        quietFailed = quietFailed || edited.status != 0;
        if (first.status != 0 || quietFailed) {
            std::ifstream in(log);
            std::cerr << in.rdbuf();
            result = 1;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        result = 1;
    }
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return result;
}
