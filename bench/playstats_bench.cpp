// What the music play statistics object costs compared with a client that
// runs the same statements, and the same file-existence tests, on SQLite
// itself.
//
// The data: 20,000 music entries of profile 1 with distinct play counters,
// of which every tenth (2,000, spread evenly through the top-list order)
// names a file that does not exist. The other 18,000 files are really
// created, empty, in a music tree of artists and albums under the scratch
// directory, one file per entry (creating them takes a second or two and
// is not measured). The entries are added once through the component
// (AddMfpmEntry, then ModifyMfpmEntryByID to set the counter, inside one
// transaction to keep the setup short), and the file is closed; every
// database of the benchmarks is a copy of that file, so both sides always
// start from identical rows in identical order.
//
// Measured, each against raw SQLite (sqlite3_prepare16_v2/step) running the
// same statement texts, copying each field it reads into a 2049-unit buffer
// and keeping a BSTR of every text field of a returned entry:
//   - the first GetMostFrequentlyPlayedMusics(10) and (99) on a fresh copy
//     of the data, which purges the entries of missing files it meets
//     (each iteration takes new copies, opened before the clock starts);
//   - the same calls repeated once nothing is left to purge;
//   - 10,000 recorded plays (UpdateMostFrequentlyPlayedMusic): 8,000 of
//     paths in the table (the few that the top lists purged are inserted
//     again), 2,000 of 500 new paths (the first play of each inserts). The raw side runs the same look-up, then the
//     same UPDATE or INSERT text.
// Both sides read only as many rows as they need: the raw side stops
// stepping a query once it has its answer, and so does the component, which
// steps the top list only until it has its entries and a look-up only to
// its first row (the ordering itself still sorts all 20,000 entries on both
// sides). After each step the
// two files are compared, so both sides are shown to have done the same.
//
// Each side is timed in CPU time of the thread, in alternating order. The
// summary prints microseconds per call (per play for the plays), the
// ratios to raw SQLite and the process's peak resident memory.
//
// A look-up of a play scans the table until the first entry of its path
// (nothing indexes [FullPath]), so the plays take most of the run: about a
// minute of CPU time, two on a busy machine.
//
// Run: build/bin/calyra_bench_playstats
//      (--benchmark_filter=Top to leave out the plays)
#include "bench/bench_support.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <chrono>
#include <string>
#include <vector>

#include "access/playstats/most_frequently_played_music.h"
#include "platform/safearray.h"

namespace {

using calyra::Bstr;
using calyra::ComPtr;
using namespace calyra::bench;

constexpr int kEntries = 20000;
constexpr int kMissingEvery = 10;  // entries n with n % 10 == 3 name no file
constexpr int kPlays = 10000;
constexpr int kNewPathEvery = 5;  // every fifth play is of one of the new paths
constexpr int kNewPaths = 500;
constexpr int kPlayChunks = 10;  // sides alternate after every chunk
constexpr int kFirstCallIterations = 5;
constexpr int kRepeatedIterations = 20;

const std::u16string kTopQuery =
    u"SELECT [EntryID], [Album], [Title], [Artist], [FullPath], [Counter], [LastPlayed] FROM "
    u"[tMostFrequentlyPlayedMusic] WHERE [ProfileID] = '1' ORDER BY [Counter] DESC, [LastPlayed] DESC";
constexpr int kTopColumns = 7;
constexpr int kTopTextColumns = 5;  // [EntryID] to [FullPath]
constexpr int kTopPathColumn = 4;

// Every column but [LastPlayed], which holds the time of each side's own
// writes.
const std::u16string kContentQuery =
    u"SELECT [EntryID], [ProfileID], [Album], [Title], [Artist], [FullPath], [Counter] FROM "
    u"[tMostFrequentlyPlayedMusic] ORDER BY [EntryID];";

std::filesystem::path g_dir;
std::u16string g_journalMode;

struct MusicData {
    std::u16string album, title, artist, path;
};

// The n-th entry of the library: 100 artists of 10 albums of 20 tracks.
MusicData MakeMusic(int n) {
    static const char* const kAlbums[] = {"Blue Lines",    "Greatest Hits", "Live at the Roundhouse",
                                          "Rock 'n' Roll", "Sessions",      "B-Sides",
                                          "Winter",        "Unplugged",     "Early Years",
                                          "Tour Edition"};
    const int artist = n / 200, album = (n / 20) % 10, track = n % 20;
    std::string title = "Track " + std::to_string(track + 1) + (n % 4 == 0 ? " (Don't Look Back)" : "");
    std::string artistName = "Artist " + std::to_string(artist);
    std::string albumName = std::string(kAlbums[album]) + " " + std::to_string(artist);
    MusicData m;
    m.album = U16(albumName);
    m.title = U16(title);
    m.artist = U16(artistName);
    m.path =
        U16((g_dir / "Music" / artistName / albumName / (std::to_string(track + 1) + " " + title + ".mp3")).string());
    return m;
}

bool HasFile(int n) { return n % kMissingEvery != 3; }

// The path of the k-th play and whether it is a new one.
std::u16string PlayedPath(int k) {
    if (k % kNewPathEvery == kNewPathEvery - 1)
        return U16((g_dir / "Music" / "New" / ("download " + std::to_string((k / kNewPathEvery) % kNewPaths) + ".mp3"))
                       .string());
    return MakeMusic(static_cast<int>((static_cast<long long>(k) * 7919) % kEntries)).path;
}

// Creates the files of the entries that have one.
bool CreateMusicFiles() {
    for (int n = 0; n < kEntries; ++n) {
        if (!HasFile(n)) continue;
        std::filesystem::path path(Bstr(MakeMusic(n).path).utf8());
        std::error_code ec;
        std::filesystem::create_directories(path.parent_path(), ec);
        int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        if (fd < 0) return false;
        close(fd);
    }
    return true;
}

// The component's side: a connection and a music statistics object bound
// to profile 1.
class Component {
public:
    explicit Component(const std::filesystem::path& file) : m_connection(file) {
        m_music = m_connection.Bind<calyra::CMostFrequentlyPlayedMusic, IMostFrequentlyPlayedMusic>(
            IID_IMostFrequentlyPlayedMusic);
    }
    bool ok() const { return m_connection.ok() && m_music; }
    IPimDbAccess* db() const { return m_connection.db(); }
    IMostFrequentlyPlayedMusic* music() const { return m_music.get(); }
    std::u16string JournalMode() const { return m_connection.JournalMode(); }
    void Close() {
        m_music.Reset();
        m_connection.Close();
    }

    // The n-th entry with its play counter, for the setup.
    bool AddEntry(int n, LONG counter) {
        MusicData m = MakeMusic(n);
        Bstr album(m.album), title(m.title), artist(m.artist), path(m.path), id;
        tagMostFrequentlyPlayedMusic entry{};
        entry.bstrAlbum = album;
        entry.bstrTitle = title;
        entry.bstrArtist = artist;
        entry.bstrFullPath = path;
        entry.lCounter = counter;
        return m_music->AddMfpmEntry(nullptr, &entry, &id) == S_OK &&
               m_music->ModifyMfpmEntryByID(nullptr, id, &entry) == S_OK;
    }

    // The top list; the number of filled entries, -1 on failure.
    long Top(LONG count, unsigned long& checksum) {
        LONG n = 0;
        SAFEARRAY* entries = nullptr;
        HRESULT hr = m_music->GetMostFrequentlyPlayedMusics(nullptr, count, &n, &entries);
        checksum += static_cast<unsigned long>(n);
        SafeArrayDestroy(entries);
        return hr == S_OK ? n : -1;
    }

    bool Play(const std::u16string& path) {
        Bstr fullPath(path);
        tagMostFrequentlyPlayedMusic entry{};
        entry.bstrFullPath = fullPath;
        HRESULT hr = m_music->UpdateMostFrequentlyPlayedMusic(nullptr, &entry);
        SysFreeString(entry.bstrEntryID);  // the look-up's, ours to free
        return hr == S_OK;
    }

private:
    ComponentConnection m_connection;
    ComPtr<IMostFrequentlyPlayedMusic> m_music;
};

// The raw side: SQLite called directly with the same flags, pragmas and
// statement texts on a copy of the same file.
class Raw {
public:
    explicit Raw(const std::filesystem::path& file) : m_db(file, g_journalMode, RawDatabase::Schema::Existing) {}
    bool ok() const { return m_db.ok(); }

    // Steps the top list until `count` entries with an existing file are
    // read, deleting the entries of missing files on the way, by the same
    // statement the component runs, while the list is still open.
    long Top(LONG count, char16_t* buffer, unsigned long& checksum) {
        RawStatement list(m_db.handle(), kTopQuery);
        if (!list.ok()) return -1;
        KeptTexts kept(static_cast<size_t>(count) * kTopTextColumns);
        long filled = 0;
        while (filled < count && list.Step()) {
            CopyColumn(list.get(), kTopPathColumn, buffer, checksum);
            if (Exists(buffer)) {
                for (int c = 0; c < kTopColumns; ++c) {
                    size_t n = CopyColumn(list.get(), c, buffer, checksum);
                    if (c < kTopTextColumns) kept.Keep(buffer, n);
                }
                ++filled;
            } else {
                size_t n = CopyColumn(list.get(), 0, buffer, checksum);
                m_db.Exec(u"DELETE FROM [tMostFrequentlyPlayedMusic] WHERE [EntryID] = '" + std::u16string(buffer, n) +
                          u"';");
            }
        }
        return filled;
    }

    // One play: the look-up by path, then counting up the entry found or
    // inserting a new one with counter 1.
    bool Play(const std::u16string& path, char16_t* buffer, unsigned long& checksum) {
        const std::u16string quotedPath = Quoted(path);
        Bstr id;
        {
            RawStatement lookUp(m_db.handle(),
                                u"SELECT [EntryID], [ProfileID], [Album], [Title], [Artist], [FullPath], [Counter], "
                                u"[LastPlayed] FROM [tMostFrequentlyPlayedMusic] WHERE [ProfileID] = '1' AND "
                                u"[FullPath] = '" +
                                    quotedPath + u"'");
            if (!lookUp.ok()) return false;
            if (lookUp.Step()) {
                size_t n = CopyColumn(lookUp.get(), 0, buffer, checksum);
                id = Bstr(std::u16string_view(buffer, n));
            }
        }
        if (!id)
            return m_db.Exec(
                u"INSERT INTO [tMostFrequentlyPlayedMusic] ([ProfileID], [Album], [Title], [Artist], [FullPath], "
                u"[Counter], [LastPlayed]) VALUES('1', '', '', '', '" +
                quotedPath + u"', '1', '" + NowText() + u"');");
        return m_db.Exec(u"UPDATE [tMostFrequentlyPlayedMusic] SET [Counter] = [Counter] + 1, [LastPlayed] = '" +
                         NowText() + u"' WHERE [EntryID] = '" + std::u16string(id.view()) + u"'");
    }

private:
    // The same existence test as the component's: anything at the path.
    static bool Exists(const char16_t* path) {
        struct stat st;
        return stat(calyra::Utf16ToUtf8(path).c_str(), &st) == 0;
    }

    RawDatabase m_db;
};

std::filesystem::path CopyOf(const std::filesystem::path& original, const char* name) {
    std::filesystem::path copy = g_dir / name;
    std::error_code ec;
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) std::filesystem::remove(copy.string() + suffix, ec);
    std::filesystem::copy_file(original, copy, ec);
    return ec ? std::filesystem::path() : copy;
}

bool SameContent(const std::filesystem::path& a, const std::filesystem::path& b) {
    QueryDigest digest = DigestOf(a, kContentQuery);
    return digest.rows >= 0 && digest == DigestOf(b, kContentQuery);
}

std::filesystem::path g_pristine;       // the filled file, closed; never changed after the setup
std::filesystem::path g_componentFile;  // the long-lived copies of the repeated calls and the plays
std::filesystem::path g_rawFile;
Component* g_component = nullptr;
Raw* g_raw = nullptr;

// The first top list on fresh copies of the data: the call that purges.
void BM_FirstTop(benchmark::State& state, LONG count) {
    std::vector<char16_t> buffer(kFieldBufferUnits);
    unsigned long checksum = 0;
    std::vector<double> component, raw;
    int iteration = 0;
    for (auto _ : state) {
        std::filesystem::path componentFile = CopyOf(g_pristine, "first-component.db");
        std::filesystem::path rawFile = CopyOf(g_pristine, "first-raw.db");
        Component componentSide(componentFile);
        Raw rawSide(rawFile);
        if (componentFile.empty() || rawFile.empty() || !componentSide.ok() || !rawSide.ok()) {
            state.SkipWithError("could not open copies of the data");
            return;
        }
        long componentFilled = -1, rawFilled = -1;
        double componentSeconds = 0, rawSeconds = 0;
        if (!TimeBothSides(
                iteration++, [&] { return (componentFilled = componentSide.Top(count, checksum)) >= 0; },
                [&] { return (rawFilled = rawSide.Top(count, buffer.data(), checksum)) >= 0; }, componentSeconds,
                rawSeconds) ||
            componentFilled != count || rawFilled != count || !SameContent(componentFile, rawFile)) {
            state.SkipWithError("the two sides did not list and purge the same entries");
            return;
        }
        component.push_back(componentSeconds);
        raw.push_back(rawSeconds);
    }
    benchmark::DoNotOptimize(checksum);
    Summary().Record(state, "GetMostFrequentlyPlayedMusics(" + std::to_string(count) + "), first", "call", component,
                     raw, 1.0);
}

// The top list again on the long-lived copies, once the entries it meets
// have all been purged.
void BM_RepeatedTop(benchmark::State& state, LONG count) {
    std::vector<char16_t> buffer(kFieldBufferUnits);
    unsigned long checksum = 0;
    std::vector<double> component, raw;
    // The first call of each side does the purge.
    if (g_component->Top(count, checksum) != count || g_raw->Top(count, buffer.data(), checksum) != count) {
        state.SkipWithError("the first call failed");
        return;
    }
    int iteration = 0;
    for (auto _ : state) {
        double componentSeconds = 0, rawSeconds = 0;
        if (!TimeBothSides(
                iteration++, [&] { return g_component->Top(count, checksum) == count; },
                [&] { return g_raw->Top(count, buffer.data(), checksum) == count; }, componentSeconds, rawSeconds)) {
            state.SkipWithError("a top list came back short");
            return;
        }
        component.push_back(componentSeconds);
        raw.push_back(rawSeconds);
    }
    benchmark::DoNotOptimize(checksum);
    if (!SameContent(g_componentFile, g_rawFile)) {
        state.SkipWithError("the two sides did not purge the same entries");
        return;
    }
    Summary().Record(state, "GetMostFrequentlyPlayedMusics(" + std::to_string(count) + "), again", "call", component,
                     raw, 1.0);
}

// 10,000 plays on the long-lived copies, a chunk at a time, alternating
// which side goes first.
void BM_RecordPlays(benchmark::State& state) {
    std::vector<char16_t> buffer(kFieldBufferUnits);
    unsigned long checksum = 0;
    std::vector<double> component, raw;
    for (auto _ : state) {
        double componentTotal = 0, rawTotal = 0;
        const int perChunk = kPlays / kPlayChunks;
        for (int chunk = 0; chunk < kPlayChunks; ++chunk) {
            auto playChunk = [&](auto play) {
                for (int k = chunk * perChunk; k < (chunk + 1) * perChunk; ++k)
                    if (!play(PlayedPath(k))) return false;
                return true;
            };
            if (!TimeBothSides(
                    chunk, [&] { return playChunk([](const std::u16string& p) { return g_component->Play(p); }); },
                    [&] {
                        return playChunk(
                            [&](const std::u16string& p) { return g_raw->Play(p, buffer.data(), checksum); });
                    },
                    componentTotal, rawTotal)) {
                state.SkipWithError("a play could not be recorded");
                return;
            }
        }
        component.push_back(componentTotal);
        raw.push_back(rawTotal);
    }
    benchmark::DoNotOptimize(checksum);
    if (!SameContent(g_componentFile, g_rawFile)) {
        state.SkipWithError("the two sides did not record the same plays");
        return;
    }
    Summary().Record(state, "UpdateMostFrequentlyPlayedMusic, per play", "play", component, raw, 1.0 * kPlays);
}

// Fills the pristine file through the component and closes it. Returns the
// journal mode the engine chose, empty on failure.
std::u16string FillPristine() {
    Component filler(g_pristine);
    if (!filler.ok()) return {};
    std::u16string journalMode = filler.JournalMode();
    if (filler.db()->Execute(nullptr, Bstr(u"BEGIN;"), nullptr) != S_OK) return {};
    for (int n = 0; n < kEntries; ++n)
        if (!filler.AddEntry(n, 1 + static_cast<LONG>((static_cast<long long>(n) * 7919) % kEntries))) return {};
    if (filler.db()->Execute(nullptr, Bstr(u"COMMIT;"), nullptr) != S_OK) return {};
    filler.Close();
    return journalMode;
}

}  // namespace

int main(int argc, char** argv) {
    ScratchDirectory dir;
    if (!dir.ok()) return 1;
    g_dir = dir.path();
    g_pristine = g_dir / "pristine.db";

    double t0 = ThreadCpuSeconds();
    auto w0 = std::chrono::steady_clock::now();
    if (!CreateMusicFiles()) {
        std::fprintf(stderr, "could not create the music files in %s\n", g_dir.c_str());
        return 1;
    }
    std::chrono::duration<double> wall = std::chrono::steady_clock::now() - w0;
    std::printf("created %d music files in %.2f s (%.2f s CPU)\n", kEntries - kEntries / kMissingEvery, wall.count(),
                ThreadCpuSeconds() - t0);
    g_journalMode = FillPristine();
    if (g_journalMode.empty()) {
        std::fprintf(stderr, "could not fill %s\n", g_pristine.c_str());
        return 1;
    }
    g_componentFile = CopyOf(g_pristine, "component.db");
    g_rawFile = CopyOf(g_pristine, "raw.db");
    Component component(g_componentFile);
    Raw raw(g_rawFile);
    if (!component.ok() || !raw.ok()) {
        std::fprintf(stderr, "could not open the copies in %s\n", g_dir.c_str());
        return 1;
    }
    g_component = &component;
    g_raw = &raw;
    std::printf("journal mode: %s; peak memory after the setup: %.1f MiB\n", Bstr(g_journalMode).utf8().c_str(),
                PeakMemoryMiB());

    Register("FirstTop10", kFirstCallIterations, [](benchmark::State& state) { BM_FirstTop(state, 10); });
    Register("FirstTop99", kFirstCallIterations, [](benchmark::State& state) { BM_FirstTop(state, 99); });
    Register("RepeatedTop10", kRepeatedIterations, [](benchmark::State& state) { BM_RepeatedTop(state, 10); });
    Register("RepeatedTop99", kRepeatedIterations, [](benchmark::State& state) { BM_RepeatedTop(state, 99); });
    Register("RecordPlays", 1, BM_RecordPlays);
    int status = RunAndSummarise(argc, argv, "CPU microseconds per call (per play): component / raw SQLite (ratio)");
    g_component = nullptr;
    g_raw = nullptr;
    return status;
}
