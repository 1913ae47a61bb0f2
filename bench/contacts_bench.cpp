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
#include "bench/bench_support.h"

#include <string>
#include <vector>

#include "access/contacts/contact_access.h"
#include "platform/record_info.h"
#include "platform/safearray.h"

namespace {

using calyra::Bstr;
using calyra::ComPtr;
using namespace calyra::bench;

constexpr int kContacts = 10000;
constexpr int kAddChunks = 10;  // sides alternate after every chunk
constexpr int kWalkIterations = 5;

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
    explicit Component(const std::filesystem::path& file) : m_connection(file) {
        m_contacts = m_connection.Bind<calyra::CContactAccess, IContactAccess>(IID_IContactAccess);
    }
    ~Component() { m_contacts.Reset(); }
    bool ok() const { return m_connection.ok() && m_contacts; }
    IContactAccess* contacts() const { return m_contacts.get(); }
    std::u16string JournalMode() const { return m_connection.JournalMode(); }

    bool Add(const ContactData& d) {
        tagContactInfo info{};
        Bstr last(d.last), first(d.first), middle(d.middle), nick(d.nick), spouse(d.spouse), company(d.company),
            department(d.department), job(d.job), description(d.description), ringtone(d.ringtone), photo(d.photo),
            alert(d.alert);
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
    ComponentConnection m_connection;
    ComPtr<IContactAccess> m_contacts;
};

// The raw side: SQLite called directly with the same flags, pragmas,
// schema and statement texts.
class Raw {
public:
    Raw(const std::filesystem::path& file, const std::u16string& journalMode) : m_db(file, journalMode) {}
    bool ok() const { return m_db.ok(); }

    // The same four statements the component runs for one contact.
    bool Add(const ContactData& d) {
        std::u16string now = NowText();
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
        if (!m_db.Exec(sql)) return false;
        std::u16string id = m_db.LastInsertId();
        const std::u16string phoneHead =
            u"INSERT INTO [tPhoneNumber] ([ContactID], [LocationType], [PhoneNumberType], [PhoneNumber], "
            u"[PrimaryFlag]) VALUES('";
        return m_db.Exec(phoneHead + id + u"', '1', '3', '" + Quoted(d.phone1) + u"', '1');") &&
               m_db.Exec(phoneHead + id + u"', '0', '0', '" + Quoted(d.phone2) + u"', '0');") &&
               m_db.Exec(u"INSERT INTO [tEmail] ([ContactID], [LocationType], [Email], [PrimaryFlag]) VALUES('" + id +
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
        static const bool kTextColumn[18] = {true,  false, false, true, true, true, true, true, false,
                                             false, true,  true,  true, true, true, true, true, false};
        return m_db.StepAndCopy(query, kTextColumn, buffer, checksum, kContacts);
    }

private:
    RawDatabase m_db;
};

Component* g_component = nullptr;
Raw* g_raw = nullptr;
bool g_filled = false;

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
            auto addChunk = [&](auto add) {
                for (int i = chunk * perChunk; i < (chunk + 1) * perChunk; ++i)
                    if (!add(MakeContact(i))) return false;
                return true;
            };
            if (!TimeBothSides(
                    chunk, [&] { return addChunk([](const ContactData& d) { return g_component->Add(d); }); },
                    [&] { return addChunk([](const ContactData& d) { return g_raw->Add(d); }); }, componentTotal,
                    rawTotal)) {
                state.SkipWithError("an insert failed");
                return;
            }
        }
        component.push_back(componentTotal);
        raw.push_back(rawTotal);
        g_filled = true;
    }
    Summary().Record(state, "add (contact + 2 phones + 1 e-mail)", "contact", component, raw, kContacts);
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
    auto componentWalk = [&] {
        LONG n = 0;
        if (byIndex) {
            if (contacts->GetNumOfContacts(nullptr, &n) != S_OK || n != kContacts) return false;
            for (LONG i = 0; i < n; ++i) {
                tagContactInfo info{};
                if (contacts->GetContactByIndex(nullptr, i, &info) != S_OK) return false;
                checksum += info.bstrLastName ? info.bstrLastName[0] : 0;
                calyra::RecordClearByDescription(&calyra::RecordDescriptionOf<tagContactInfo>(), &info);
            }
            return true;
        }
        SAFEARRAY* all = nullptr;
        HRESULT hr = contacts->GetAllContacts(nullptr, &n, &all);
        checksum += static_cast<unsigned long>(n);
        SafeArrayDestroy(all);
        return hr == S_OK && n == kContacts;
    };
    auto rawWalk = [&] { return g_raw->Walk(buffer.data(), checksum) == kContacts; };
    for (auto _ : state) {
        double componentSeconds = 0, rawSeconds = 0;
        if (!TimeBothSides(iteration++, componentWalk, rawWalk, componentSeconds, rawSeconds)) {
            state.SkipWithError("a walk did not return every contact");
            return;
        }
        component.push_back(componentSeconds);
        raw.push_back(rawSeconds);
    }
    benchmark::DoNotOptimize(checksum);
    Summary().Record(state, byIndex ? "walk (GetNumOfContacts + GetContactByIndex)" : "walk (GetAllContacts)",
                     "contact", component, raw, kContacts);
}

}  // namespace

int main(int argc, char** argv) {
    ScratchDirectory dir;
    if (!dir.ok()) return 1;
    Component component(dir.path() / "component.db");
    Raw raw(dir.path() / "raw.db", component.ok() ? component.JournalMode() : std::u16string());
    if (!component.ok() || !raw.ok()) {
        std::fprintf(stderr, "could not set up the database files in %s\n", dir.path().c_str());
        return 1;
    }
    g_component = &component;
    g_raw = &raw;
    std::printf("journal mode: %s; peak memory before adding: %.1f MiB\n", Bstr(component.JournalMode()).utf8().c_str(),
                PeakMemoryMiB());
    Register("AddContacts", 1, BM_AddContacts);
    Register("WalkByIndex", kWalkIterations, [](benchmark::State& state) { BM_Walk(state, true); });
    Register("WalkAll", kWalkIterations, [](benchmark::State& state) { BM_Walk(state, false); });
    int status = RunAndSummarise(argc, argv, "CPU microseconds per contact: component / raw SQLite (ratio)");
    g_component = nullptr;
    g_raw = nullptr;
    return status;
}
