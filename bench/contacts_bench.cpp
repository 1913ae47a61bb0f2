// What the contact access object costs compared with a client that runs
// the same statements on SQLite itself.
//
// Two files get the full schema, the system's pragmas and the journal mode
// the engine picks for its files: one is used
// through CContactAccess over the connection, the other through raw
// SQLite (sqlite3_prepare16_v2/step). Both receive 10,000 contacts with two
// phone numbers and one e-mail address each, by the same INSERT texts
// (four statements per contact, each its own transaction, as the component
// runs them). Then the contacts are walked back: through
// GetNumOfContacts/GetContactByIndex, through GetAllContacts, and on the
// raw side by stepping the same contact list query and copying every field
// into a 2049-unit buffer, keeping a BSTR of every text field (what a
// client needs to hold the record).
//
// Each side is timed in CPU time of the thread, in alternating order, so a
// machine busy with other work does not charge its time slices to one
// side. The summary prints microseconds per contact, the ratios to raw
// SQLite and the process's peak resident memory.
//
// Run: build/bin/calyra_bench_contacts   (about 20-40 s)
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include "access/contacts/contact_access.h"
#include "core/pim_db_access.h"
#include "core/value_conversions.h"
#include "management/schema_statements.h"
#include "management/schema_upgrade.h"
#include "platform/bstr.h"
#include "platform/com_ptr.h"
#include "platform/record_info.h"
#include "platform/safearray.h"

namespace {

using calyra::Bstr;
using calyra::ComPtr;

constexpr int kContacts = 10000;
constexpr int kAddChunks = 10;  // sides alternate after every chunk
constexpr int kWalkIterations = 5;
constexpr ULONG kFieldBufferUnits = 2049;

double ThreadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
    return v[v.size() / 2];
}

std::u16string U16(const std::string& s) { return calyra::Utf8ToUtf16(s); }

std::u16string Quoted(std::u16string_view text) {
    std::u16string out;
    for (char16_t c : text) {
        if (c == u'\'') out += u'\'';
        out += c;
    }
    return out;
}

std::u16string DateText(DATE date) {
    OLECHAR text[calyra::kValueTextUnits];
    calyra::DateToText(date, text, calyra::kValueTextUnits);
    return text;
}

// The n-th contact's data: texts of the sizes a phone book holds.
struct ContactData {
    LONG title, suffix;
    std::u16string last, first, middle, nick, spouse, company, department, job, description, ringtone, photo, alert;
    DATE birthday, anniversary;
    std::u16string phone1, phone2, email;
};

ContactData MakeContact(int n) {
    static const char* const kLast[] = {"Lindqvist", "O'Brien", "Müller-Lüdenscheidt", "Nakamura", "García"};
    static const char* const kFirst[] = {"Zoë", "Patrick", "Hans-Jürgen", "Haruto", "Lucía"};
    std::string i = std::to_string(n);
    ContactData d;
    d.title = n % 5;
    d.suffix = n % 3;
    d.last = U16(kLast[n % 5] + i);
    d.first = U16(kFirst[n % 5]);
    d.middle = u"Anne";
    d.nick = d.first.substr(0, 2);
    d.spouse = u"Alex Dupont";
    d.company = U16("Northwind Traders " + i);
    d.department = u"Purchasing";
    d.job = u"Senior Buyer";
    d.description = U16("Met at the spring fair; prefers e-mail in the morning, calls after four. #" + i);
    d.ringtone = U16("C:\\Users\\owner\\Music\\Ringtones\\marimba-" + i + ".mp3");
    d.photo = U16("C:\\Users\\owner\\Pictures\\Contacts\\" + i + ".jpg");
    d.alert = U16("C:\\Users\\owner\\Music\\Alerts\\chime-" + std::to_string(n % 9) + ".wav");
    d.birthday = 30000 + n % 3000;
    d.anniversary = 39000 + n % 500;
    d.phone1 = U16("+46 8 555 " + i);
    d.phone2 = U16("+46 70 555 " + i);
    d.email = U16("contact" + i + "@example.org");
    return d;
}

// The component's side: a connection with the schema and one contact
// access object bound to profile 1.
class Component {
public:
    explicit Component(const std::filesystem::path& file) {
        if (calyra::CreateComInstance<calyra::CPimDbAccess>(nullptr, IID_IPimDbAccess,
                                                            reinterpret_cast<void**>(&m_db)) != S_OK ||
            m_db->OpenPimDatabase(nullptr, nullptr, nullptr, Bstr::FromUtf8(file.string())) != S_OK)
            return;
        calyra::OptimizePimDatabasePerformance(m_db.get());
        calyra::UpdatePimDatabase(m_db.get());
        if (calyra::CreateComInstance<calyra::CContactAccess>(nullptr, IID_IContactAccess,
                                                              reinterpret_cast<void**>(&m_contacts)) != S_OK)
            return;
        m_contacts->SetPimDbAccess(nullptr, m_db.get());
        m_contacts->SetProfileID(nullptr, Bstr(u"1"));
        m_ok = true;
    }
    ~Component() {
        m_contacts.Reset();
        if (m_db) m_db->ClosePimDatabase(nullptr);
    }
    bool ok() const { return m_ok; }
    IContactAccess* contacts() const { return m_contacts.get(); }

    // The journal mode the engine chose for the file.
    std::u16string JournalMode() const {
        LONG rows = 0, columns = 0;
        LONGLONG vm = 0;
        std::u16string mode;
        if (m_db->Query(nullptr, Bstr(u"PRAGMA journal_mode;"), &rows, &columns, &vm) == S_OK && rows == 1) {
            USHORT buffer[32] = {};
            m_db->GetFieldValue(nullptr, &vm, 0, buffer, 32);
            for (int i = 0; buffer[i]; ++i) mode += static_cast<char16_t>(buffer[i]);
        }
        m_db->FreeResultset(nullptr, &vm);
        return mode;
    }

    bool Add(const ContactData& d) {
        tagContactInfo info{};
        Bstr last(d.last), first(d.first), middle(d.middle), nick(d.nick), spouse(d.spouse), company(d.company),
            department(d.department), job(d.job), description(d.description), ringtone(d.ringtone),
            photo(d.photo), alert(d.alert);
        info.eTitle = static_cast<enumTitle>(d.title);
        info.eSuffix = static_cast<enumSuffix>(d.suffix);
        info.bstrLastName = last;
        info.bstrFirstName = first;
        info.bstrMiddleName = middle;
        info.bstrNickName = nick;
        info.bstrSpouseName = spouse;
        info.dtBirthday = d.birthday;
        info.dtAnniversary = d.anniversary;
        info.bstrCompanyName = company;
        info.bstrDepartment = department;
        info.bstrJobTitle = job;
        info.bstrDescription = description;
        info.bstrRingtone = ringtone;
        info.bstrPhoto = photo;
        info.bstrMessageAlert = alert;
        Bstr id;
        if (m_contacts->AddContact(nullptr, &info, &id) != S_OK) return false;

        Bstr phone1(d.phone1), phone2(d.phone2), email(d.email), phoneID1, phoneID2, emailID;
        tagPhoneNumber phone{};
        phone.eLocationType = enumLocationType_Work;
        phone.ePhoneNumberType = enumPhoneNumberType_Other;
        phone.bstrPhoneNumber = phone1;
        phone.bPrimary = 1;
        if (m_contacts->AddPhoneNumberToContact(nullptr, id, &phone, &phoneID1) != S_OK) return false;
        phone.eLocationType = enumLocationType_Home;
        phone.ePhoneNumberType = enumPhoneNumberType_Mobile;
        phone.bstrPhoneNumber = phone2;
        phone.bPrimary = 0;
        if (m_contacts->AddPhoneNumberToContact(nullptr, id, &phone, &phoneID2) != S_OK) return false;
        tagEmail mail{};
        mail.eLocationType = enumLocationType_Work;
        mail.bstrEmail = email;
        mail.bPrimary = 1;
        return m_contacts->AddEmailToContact(nullptr, id, &mail, &emailID) == S_OK;
    }

private:
    ComPtr<IPimDbAccess> m_db;
    ComPtr<IContactAccess> m_contacts;
    bool m_ok = false;
};

// The raw side: SQLite called directly with the same flags, pragmas,
// schema and statement texts.
class Raw {
public:
    Raw(const std::filesystem::path& file, const std::u16string& journalMode) {
        if (journalMode.empty() ||
            sqlite3_open_v2(file.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                            nullptr) != SQLITE_OK)
            return;
        if (!Exec(u"PRAGMA journal_mode = " + journalMode + u";")) return;
        for (auto list : {calyra::PragmaStatements(), calyra::CreationStatements(), calyra::VersionStatements()})
            for (std::u16string_view sql : list)
                if (!Exec(std::u16string(sql))) return;
        m_ok = true;
    }
    ~Raw() { sqlite3_close_v2(m_db); }
    bool ok() const { return m_ok; }

    bool Exec(const std::u16string& sql) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare16_v2(m_db, sql.c_str(), static_cast<int>(sql.size() * 2), &stmt, nullptr) != SQLITE_OK)
            return false;
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        }
        sqlite3_finalize(stmt);
        return rc == SQLITE_DONE;
    }

    // The same four statements the component runs for one contact.
    bool Add(const ContactData& d) {
        std::u16string now = DateText(calyra::GetNowDate());
        std::u16string sql =
            u"INSERT INTO [tContact] ([ProfileID], [Title], [Suffix], [LastName], [FirstName], [MiddleName], "
            u"[NickName], [SpouseName], [BirthDate], [Anniversary], [CompanyName], [Department], [JobTitle], "
            u"[Description], [Ringtone], [Photo], [MessageAlert], [Modified]) VALUES('1', '" +
            U16(std::to_string(d.title)) + u"', '" + U16(std::to_string(d.suffix)) + u"', '" + Quoted(d.last) +
            u"', '" + Quoted(d.first) + u"', '" + Quoted(d.middle) + u"', '" + Quoted(d.nick) + u"', '" +
            Quoted(d.spouse) + u"', '" + DateText(d.birthday) + u"', '" + DateText(d.anniversary) + u"', '" +
            Quoted(d.company) + u"', '" + Quoted(d.department) + u"', '" + Quoted(d.job) + u"', '" +
            Quoted(d.description) + u"', '" + Quoted(d.ringtone) + u"', '" + Quoted(d.photo) + u"', '" +
            Quoted(d.alert) + u"', '" + now + u"');";
        if (!Exec(sql)) return false;
        std::u16string id = U16(std::to_string(sqlite3_last_insert_rowid(m_db)));
        const std::u16string phoneHead =
            u"INSERT INTO [tPhoneNumber] ([ContactID], [LocationType], [PhoneNumberType], [PhoneNumber], "
            u"[PrimaryFlag]) VALUES('";
        return Exec(phoneHead + id + u"', '1', '3', '" + Quoted(d.phone1) + u"', '1');") &&
               Exec(phoneHead + id + u"', '0', '0', '" + Quoted(d.phone2) + u"', '0');") &&
               Exec(u"INSERT INTO [tEmail] ([ContactID], [LocationType], [Email], [PrimaryFlag]) VALUES('" + id +
                    u"', '1', '" + Quoted(d.email) + u"', '1');");
    }

    // Steps the contact list query, copying every field into the buffer
    // and keeping a BSTR of every text field until the walk is done.
    long Walk(char16_t* buffer, unsigned long& checksum) {
        static const std::u16string query =
            u"SELECT [ContactID], [Title], [Suffix], [LastName], [FirstName], [MiddleName], [NickName], "
            u"[SpouseName], [BirthDate], [Anniversary], [CompanyName], [Department], [JobTitle], [Description], "
            u"[Ringtone], [Photo], [MessageAlert], [Modified] FROM [tContact] WHERE [ProfileID] = '1';";
        // Columns that are texts in the record (not numbers or dates).
        static const bool kTextColumn[18] = {true, false, false, true, true, true, true, true, false,
                                             false, true, true, true, true, true, true, true, false};
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare16_v2(m_db, query.c_str(), static_cast<int>(query.size() * 2), &stmt, nullptr) !=
            SQLITE_OK)
            return -1;
        std::vector<BSTR> kept;
        kept.reserve(static_cast<size_t>(kContacts) * 13);
        long rows = 0;
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            for (int c = 0; c < 18; ++c) {
                auto text = static_cast<const char16_t*>(sqlite3_column_text16(stmt, c));
                size_t n = text ? static_cast<size_t>(sqlite3_column_bytes16(stmt, c)) / 2 : 0;
                n = std::min<size_t>(n, kFieldBufferUnits - 1);
                if (n) std::memcpy(buffer, text, n * sizeof(char16_t));
                buffer[n] = 0;
                checksum += buffer[0];
                if (kTextColumn[c]) kept.push_back(SysAllocStringLen(buffer, static_cast<UINT>(n)));
            }
            ++rows;
        }
        sqlite3_finalize(stmt);
        for (BSTR b : kept) SysFreeString(b);
        return rows;
    }

private:
    sqlite3* m_db = nullptr;
    bool m_ok = false;
};

std::filesystem::path g_dir;
Component* g_component = nullptr;
Raw* g_raw = nullptr;
bool g_filled = false;

struct Figures {
    double componentUs = 0, rawUs = 0, ratio = 0;
};
std::map<std::string, Figures> g_figures;  // in the order of the summary's names

void Record(benchmark::State& state, const std::string& name, const std::vector<double>& component,
            const std::vector<double>& raw, double perIteration) {
    Figures f;
    f.componentUs = Median(component) / perIteration * 1e6;
    f.rawUs = Median(raw) / perIteration * 1e6;
    f.ratio = f.rawUs > 0 ? f.componentUs / f.rawUs : 0;
    state.counters["component_us_contact"] = f.componentUs;
    state.counters["raw_us_contact"] = f.rawUs;
    state.counters["ratio"] = f.ratio;
    g_figures[name] = f;
}

// Adds the 10,000 contacts on both sides, a chunk at a time, alternating
// which side goes first.
void BM_AddContacts(benchmark::State& state) {
    std::vector<double> component, raw;
    for (auto _ : state) {
        if (g_filled) {
            state.SkipWithError("the contacts are added once");
            return;
        }
        double componentTotal = 0, rawTotal = 0;
        const int perChunk = kContacts / kAddChunks;
        for (int chunk = 0; chunk < kAddChunks; ++chunk) {
            for (int k = 0; k < 2; ++k) {
                bool componentSide = (chunk + k) % 2 == 0;
                double t0 = ThreadCpuSeconds();
                for (int i = chunk * perChunk; i < (chunk + 1) * perChunk; ++i) {
                    ContactData d = MakeContact(i);
                    if (!(componentSide ? g_component->Add(d) : g_raw->Add(d))) {
                        state.SkipWithError("an insert failed");
                        return;
                    }
                }
                (componentSide ? componentTotal : rawTotal) += ThreadCpuSeconds() - t0;
            }
        }
        component.push_back(componentTotal);
        raw.push_back(rawTotal);
        g_filled = true;
    }
    Record(state, "add (contact + 2 phones + 1 e-mail)", component, raw, kContacts);
}

// The component's walk by position and by array, each against the raw walk.
void BM_Walk(benchmark::State& state, bool byIndex) {
    if (!g_filled) {
        state.SkipWithError("no contacts to walk");
        return;
    }
    std::vector<char16_t> buffer(kFieldBufferUnits);
    unsigned long checksum = 0;
    std::vector<double> component, raw;
    int iteration = 0;
    IContactAccess* contacts = g_component->contacts();
    for (auto _ : state) {
        for (int k = 0; k < 2; ++k) {
            bool componentSide = (iteration + k) % 2 == 0;
            double t0 = ThreadCpuSeconds();
            if (!componentSide) {
                if (g_raw->Walk(buffer.data(), checksum) != kContacts) state.SkipWithError("raw walk failed");
                raw.push_back(ThreadCpuSeconds() - t0);
                continue;
            }
            if (byIndex) {
                LONG n = 0;
                if (contacts->GetNumOfContacts(nullptr, &n) != S_OK || n != kContacts)
                    state.SkipWithError("GetNumOfContacts failed");
                for (LONG i = 0; i < n; ++i) {
                    tagContactInfo info{};
                    if (contacts->GetContactByIndex(nullptr, i, &info) != S_OK)
                        state.SkipWithError("GetContactByIndex failed");
                    checksum += info.bstrLastName ? info.bstrLastName[0] : 0;
                    calyra::RecordClearByDescription(&calyra::RecordDescriptionOf<tagContactInfo>(), &info);
                }
            } else {
                LONG n = 0;
                SAFEARRAY* all = nullptr;
                if (contacts->GetAllContacts(nullptr, &n, &all) != S_OK || n != kContacts)
                    state.SkipWithError("GetAllContacts failed");
                checksum += static_cast<unsigned long>(n);
                SafeArrayDestroy(all);
            }
            component.push_back(ThreadCpuSeconds() - t0);
        }
        ++iteration;
    }
    benchmark::DoNotOptimize(checksum);
    Record(state, byIndex ? "walk (GetNumOfContacts + GetContactByIndex)" : "walk (GetAllContacts)", component,
           raw, kContacts);
}

// Peak resident memory of the process so far, in MiB.
double PeakMemoryMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB
}

}  // namespace

int main(int argc, char** argv) {
    // Keep trace texts away from a viewer on the user's desktop.
    std::string desktop = "calyra-bench-" + std::to_string(getpid());
    setenv("CALYRA_DESKTOP", desktop.c_str(), 1);

    std::string pattern = (std::filesystem::temp_directory_path() / "calyra-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    g_dir = pattern;
    int status = 0;
    {
        Component component(g_dir / "component.db");
        Raw raw(g_dir / "raw.db", component.ok() ? component.JournalMode() : std::u16string());
        if (!component.ok() || !raw.ok()) {
            std::fprintf(stderr, "could not set up the database files in %s\n", g_dir.c_str());
            status = 1;
        } else {
            g_component = &component;
            g_raw = &raw;
            std::printf("journal mode: %s; peak memory before adding: %.1f MiB\n",
                        Bstr(component.JournalMode()).utf8().c_str(), PeakMemoryMiB());
            benchmark::RegisterBenchmark("AddContacts", BM_AddContacts)
                ->Iterations(1)
                ->UseRealTime()
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark("WalkByIndex", BM_Walk, true)
                ->Iterations(kWalkIterations)
                ->UseRealTime()
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark("WalkAll", BM_Walk, false)
                ->Iterations(kWalkIterations)
                ->UseRealTime()
                ->Unit(benchmark::kMillisecond);

            benchmark::Initialize(&argc, argv);
            if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
                status = 1;
            } else {
                benchmark::RunSpecifiedBenchmarks();
                benchmark::Shutdown();
                std::printf("\nCPU microseconds per contact: component / raw SQLite (ratio)\n");
                for (const auto& [name, f] : g_figures)
                    std::printf("%-45s %9.2f / %9.2f  (%.2f)\n", name.c_str(), f.componentUs, f.rawUs, f.ratio);
                std::printf("peak memory: %.1f MiB\n", PeakMemoryMiB());
            }
            g_component = nullptr;
            g_raw = nullptr;
        }
    }
    std::error_code ec;
    std::filesystem::remove_all(g_dir, ec);
    return status;
}
