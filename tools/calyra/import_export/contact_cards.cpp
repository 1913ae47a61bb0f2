#include "import_export/contact_cards.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <iterator>

#include "idl/owned_record.h"
#include "import_export/conversions.h"
#include "interchange/vcard_reader.h"
#include "interchange/vcard_writer.h"
#include "platform/bstr.h"
#include "records/contact_details.h"
#include "records/contact_records.h"
#include "records/contact_search.h"
#include "records/record_fields.h"
#include "records/text_limits.h"
#include "session/client_error.h"
#include "session/query_rows.h"
#include "session/text_matching.h"
#include "session/user_time.h"

namespace calyra::cli {

using namespace calendar;
namespace {

using interchange::CardDate;
using interchange::ContactCard;
using interchange::PhoneKind;
using interchange::Place;

// Text fields of the contact record and where a card keeps them.
struct TextField {
    const char* key;
    std::string ContactCard::*member;
};
constexpr TextField kTextFields[] = {
    {"last_name", &ContactCard::familyName},
    {"first_name", &ContactCard::givenName},
    {"middle_name", &ContactCard::additionalNames},
    {"nick_name", &ContactCard::nickname},
    {"spouse_name", &ContactCard::spouse},
    {"company_name", &ContactCard::organization},
    {"department", &ContactCard::department},
    {"job_title", &ContactCard::title},
    {"description", &ContactCard::note},
};

// The record's field of each of kTextFields, in that order: looked up by
// name once (nine look-ups a card showed in an import's profile).
const FieldInfo& TextFieldInfo(size_t index) {
    static const auto fields = [] {
        std::array<const FieldInfo*, std::size(kTextFields)> out{};
        for (size_t i = 0; i < out.size(); ++i)
            out[i] = &RequireField(RecordDescriptionOf<tagContactInfo>(), kTextFields[i].key);
        return out;
    }();
    return *fields[index];
}

struct DateField {
    DATE tagContactInfo::*record;
    std::optional<CardDate> ContactCard::*member;
    const char* property;
};
constexpr DateField kDateFields[] = {
    {&tagContactInfo::dtBirthday, &ContactCard::birthday, "BDAY"},
    {&tagContactInfo::dtAnniversary, &ContactCard::anniversary, "ANNIVERSARY"},
};

// The record's titles and suffixes: how cards write them, and the value.
struct Honorific {
    const char* key;  // lower case, without dots
    LONG value;
    const char* written;
};
// The first value is stored as chosen (kChosenFirstHonorific): a 0 is none.
constexpr Honorific kTitles[] = {
    {"mrs", kChosenFirstHonorific, "Mrs."},
    {"ms", 1, "Ms."},
    {"dr", 2, "Dr."},
    {"prof", 3, "Prof."},
    {"miss", 4, "Miss"},
};
constexpr Honorific kSuffixes[] = {
    {"sr", kChosenFirstHonorific, "Sr."}, {"jr", 1, "Jr."}, {"i", 2, "I"}, {"ii", 3, "II"}, {"iii", 4, "III"},
};

std::optional<LONG> HonorificValue(std::span<const Honorific> table, const std::string& text) {
    std::string key;
    for (char c : text)
        if (c != '.' && c != ' ') key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const auto& h : table)
        if (key == h.key) return h.value;
    return std::nullopt;
}

const char* HonorificText(std::span<const Honorific> table, LONG value) {
    if (value == 0) return "";  // none
    for (const auto& h : table)
        if (h.value == value) return h.written;
    return "";
}

const char* PlaceName(Place place) {
    switch (place) {
        case Place::Home:
            return "home";
        case Place::Work:
            return "work";
        case Place::Other:
            break;
    }
    return "other";
}

Place PlaceOf(const Json& item) {
    const Json& v = item["location_type"];
    if (v == "home") return Place::Home;
    if (v == "work") return Place::Work;
    return Place::Other;
}

const char* PhoneTypeName(PhoneKind kind) {
    switch (kind) {
        case PhoneKind::Mobile:
            return "mobile";
        case PhoneKind::Fax:
            return "fax";
        case PhoneKind::Pager:
            return "pager";
        case PhoneKind::Voice:
            break;
    }
    return "other";
}

PhoneKind PhoneKindOf(const Json& item) {
    const Json& v = item["phone_number_type"];
    if (v == "mobile") return PhoneKind::Mobile;
    if (v == "fax") return PhoneKind::Fax;
    if (v == "pager") return PhoneKind::Pager;
    return PhoneKind::Voice;
}

std::string Joined(std::initializer_list<const std::string*> parts, const char* separator) {
    std::string out;
    for (const std::string* p : parts)
        if (!p->empty()) out += (out.empty() ? "" : separator) + *p;
    return out;
}

// Lower case (ASCII), blanks trimmed and runs of blanks made one.
std::string Folded(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (std::isspace(static_cast<unsigned char>(c))) {
            if (!out.empty() && out.back() != ' ') out += ' ';
        } else {
            out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    if (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

std::string Digits(std::string_view text) {
    std::string out;
    for (char c : text)
        if (std::isdigit(static_cast<unsigned char>(c))) out += c;
    return out;
}

// FoldForSearch of a text written in Latin letters (every character below
// U+0250), a character at a time, each folded once by FoldForSearch itself;
// none when another character occurs. Such characters are all starters
// that no following character composes with, so the text folds as its
// characters do, without a trip through ICU per name (a thirtieth of an
// import whose names have accents).
std::optional<std::string> FoldedLatin(std::string_view text) {
    constexpr char32_t kEnd = 0x250;
    thread_local std::vector<std::optional<std::string>> folded(kEnd);
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            out += lead >= 'A' && lead <= 'Z' ? static_cast<char>(lead - 'A' + 'a') : static_cast<char>(lead);
            ++i;
            continue;
        }
        // Two bytes (110xxxxx 10xxxxxx) reach U+07FF; the table ends before.
        if ((lead & 0xe0) != 0xc0 || i + 1 >= text.size() || (static_cast<unsigned char>(text[i + 1]) & 0xc0) != 0x80)
            return std::nullopt;
        const char32_t c = (static_cast<char32_t>(lead & 0x1f) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3f);
        if (c < 0x80 || c >= kEnd) return std::nullopt;
        std::optional<std::string>& one = folded[c];
        if (!one) one = FoldForSearch(text.substr(i, 2));
        out += *one;
        i += 2;
    }
    return out;
}

// FoldForSearch of a name. One in Latin letters folds through the table
// above; any other goes through ICU (a fortieth of an import), and those
// are remembered, since an address book repeats its names. Each thread
// (the planning one, the storing one) keeps its own few thousand.
std::string FoldedName(const std::string& text) {
    if (std::optional<std::string> latin = FoldedLatin(text)) return std::move(*latin);
    thread_local std::unordered_map<std::string, std::string> folded;
    if (auto it = folded.find(text); it != folded.end()) return it->second;
    if (folded.size() >= 4096) folded.clear();
    return folded.emplace(text, FoldForSearch(text)).first->second;
}

// Who a contact is, by the rules of `contacts find`: last and first name
// without case and accents, the middle name left out (so a card without it
// finds the person), or the company when the contact names no person. The
// side store keeps it as the contact's match key.
std::string MatchKeyOf(const tagContactInfo& c) {
    const std::string last = FoldedName(BstrUtf8(c.bstrLastName));
    const std::string first = FoldedName(BstrUtf8(c.bstrFirstName));
    if (last.empty() && first.empty() && FoldedName(BstrUtf8(c.bstrMiddleName)).empty())
        return "c:" + FoldForSearch(BstrUtf8(c.bstrCompanyName));
    return "n:" + last + '\x1f' + first;
}

// Middle names agree unless both are given and differ.
bool SameMiddleName(const tagContactInfo& a, const tagContactInfo& b) {
    const std::string x = FoldForSearch(BstrUtf8(a.bstrMiddleName)), y = FoldForSearch(BstrUtf8(b.bstrMiddleName));
    return x.empty() || y.empty() || x == y;
}

// A JSON scalar or object as hash text: keys and values in order, without
// the escaping and formatting a dump spends its time on.
void AppendHashText(std::string& text, const Json& value) {
    switch (value.type()) {
        case Json::value_t::object:
            for (const auto& [key, item] : value.items()) {
                text.append(key).push_back('=');
                AppendHashText(text, item);
                text.push_back('\x1f');
            }
            break;
        case Json::value_t::string:
            text.append(value.get_ref<const std::string&>());
            break;
        case Json::value_t::boolean:
            text.push_back(value.get<bool>() ? '1' : '0');
            break;
        case Json::value_t::null:
            text.push_back('\x1e');
            break;
        default:
            text.append(value.dump());
            break;
    }
}

// One field of a detail record as hash text: what AppendHashText makes of
// its FieldToJson value (stored details are read back as JSON), without
// making the value for texts and flags.
void AppendDetailHashText(std::string& text, const FieldInfo& f, const void* record) {
    const char* field = static_cast<const char*>(record) + f.desc->offset;
    if (f.kind == FieldKind::Text) {
        std::string utf8;
        Utf16ToUtf8(BstrView(*reinterpret_cast<const BSTR*>(field)), utf8);
        text.append(utf8);
    } else if (f.kind == FieldKind::Flag) {
        text.push_back(FieldFlag(f, record) ? '1' : '0');
    } else if (f.kind == FieldKind::Enum) {
        // Its name, null for a title or suffix never chosen, else the number.
        const LONG v = *reinterpret_cast<const LONG*>(field);
        if (v == 0 && IsHonorific(f.enumName)) return text.push_back('\x1e');
        for (const auto& [name, value] : EnumValues(f.enumName))
            if (value == v) return static_cast<void>(text.append(name));
        text.append(std::to_string(v));
    } else {
        AppendHashText(text, FieldToJson(f, record));
    }
}

// The contact record's part of the hash text: its fields but the ID and
// the modification time, as AppendFieldHashText writes them.
std::string ContactHashText(const tagContactInfo& c) {
    // The hashed fields, picked by name once.
    static const std::vector<const FieldInfo*> hashed = [] {
        std::vector<const FieldInfo*> out;
        for (const auto& f : FieldsOf(RecordDescriptionOf<tagContactInfo>()))
            if (f.key != "contact_id" && f.key != "modified") out.push_back(&f);
        return out;
    }();
    std::string text;
    text.reserve(512);
    for (const FieldInfo* f : hashed) AppendFieldHashText(text, *f, &c);
    return text;
}

// The contact as stored, as one text for ContentHash: the record's part,
// then each family's items as they read back, every field but the item's
// ID. Made alike from a planned card (the records it will add) and from a
// contact read back, so an unchanged contact hashes the same.
std::string StoredContactHash(const ProfileContacts& stored, const tagContactInfo& c) {
    std::string text = ContactHashText(c);
    const std::string id = BstrUtf8(c.bstrContactID);
    const auto families = DetailFamilies();
    for (const auto& family : families) {
        const std::string idKey(FieldsOf(*family.record).front().key);
        for (const auto& item : stored.items(family, id)) {
            text.append(family.name).push_back(':');
            for (const auto& [key, value] : item.items()) {
                if (key == idKey) continue;
                text.append(key).push_back('=');
                AppendHashText(text, value);
                text.push_back('\x1f');
            }
            text.push_back('\n');
        }
    }
    return ContentHash(text);
}

// What a detail item says, without its ID, place, kind and primary mark:
// two items with the same key are the same address, number or account.
std::string ItemKey(const DetailFamily& family, const Json& item) {
    std::string key;
    const auto& fields = FieldsOf(*family.record);
    for (size_t i = 1; i < fields.size(); ++i) {
        if (fields[i].kind != FieldKind::Text) continue;
        const std::string text = JsonText(item[fields[i].key]);
        key += (fields[i].key == "phone_number" ? Digits(text) : Folded(text)) + '\x1f';
    }
    return key;
}

// A detail item as a person sees it: every field but its ID.
Json ItemImage(const DetailFamily& family, Json item) {
    item.erase(std::string(FieldsOf(*family.record).front().key));
    return item;
}

// Whether a card carries the contact record's field: its texts, title,
// suffix and dates; the rest (photo, ringtone, alert) it has no place for.
bool CardCarries(const FieldInfo& f) {
    if (f.key == "title" || f.key == "suffix" || f.key == "birthday" || f.key == "anniversary") return true;
    return std::any_of(std::begin(kTextFields), std::end(kTextFields),
                       [&](const TextField& t) { return f.key == t.key; });
}

// Copies one field between records of the same type.
void CopyField(const FieldInfo& f, const void* from, void* to) {
    const char* source = static_cast<const char*>(from) + f.desc->offset;
    char* target = static_cast<char*>(to) + f.desc->offset;
    if (f.kind == FieldKind::Text) {
        BSTR copy = SysAllocStringLen(*reinterpret_cast<const BSTR*>(source),
                                      SysStringLen(*reinterpret_cast<const BSTR*>(source)));
        SysFreeString(*reinterpret_cast<BSTR*>(target));
        *reinterpret_cast<BSTR*>(target) = copy;
    } else if (f.kind == FieldKind::Date) {
        *reinterpret_cast<DATE*>(target) = *reinterpret_cast<const DATE*>(source);
    } else {
        *reinterpret_cast<LONG*>(target) = *reinterpret_cast<const LONG*>(source);
    }
}

// How a group card names a member by its UID.
constexpr std::string_view kUuidUrn = "urn:uuid:";

// Runs a statement of the import's own bookkeeping on the connection.
void Run(Session& session, const char16_t* sql) {
    LONG err = 0;
    Check(session.connection()->Execute(&err, Bstr(sql), nullptr), err, "the import's savepoint failed");
}

ContactCard CardOf(const ProfileContacts& all, const tagContactInfo& c) {
    ContactCard card;
    for (size_t i = 0; i < std::size(kTextFields); ++i)
        card.*kTextFields[i].member = JsonText(FieldToJson(TextFieldInfo(i), &c));
    card.prefixes = HonorificText(kTitles, c.eTitle);
    card.suffixes = HonorificText(kSuffixes, c.eSuffix);
    for (const auto& f : kDateFields) {
        const DATE d = c.*f.record;
        if (d == 0) continue;
        const CivilDate civil = ToCivil(d);
        card.*f.member = CardDate{civil.year, civil.month, civil.day};
    }
    const std::string id = BstrUtf8(c.bstrContactID);
    for (const auto& a : all.items(*FindDetailFamily("address"), id))
        card.addresses.push_back({PlaceOf(a), a.value("primary", false), "", "", JsonText(a["street"]),
                                  JsonText(a["city"]), JsonText(a["state"]), JsonText(a["zip_code"]),
                                  JsonText(a["country"])});
    for (const auto& p : all.items(*FindDetailFamily("phone"), id))
        card.phones.push_back({PlaceOf(p), PhoneKindOf(p), p.value("primary", false), JsonText(p["phone_number"])});
    for (const auto& e : all.items(*FindDetailFamily("email"), id))
        card.emails.push_back({PlaceOf(e), e.value("primary", false), JsonText(e["email"])});
    for (const auto& u : all.items(*FindDetailFamily("url"), id))
        card.urls.push_back({PlaceOf(u), u.value("primary", false), JsonText(u["web_url"])});
    for (const auto& im : all.items(*FindDetailFamily("im"), id))
        card.ims.push_back(
            {PlaceOf(im), im.value("primary", false), JsonText(im["protocol"]), JsonText(im["address"])});
    for (const auto& group : all.groups(id))
        if (std::find(card.categories.begin(), card.categories.end(), group.name) == card.categories.end())
            card.categories.push_back(group.name);
    return card;
}

// Whether a card (as planned, nothing cut or left out) says nothing but
// what its records keep (`record`, the categories it joins), so that the card the stored
// contact exports as is this card again and its text need not be kept:
// no property the records have no place for, no
// label, group or type beyond place and kind, one preferred item per
// family, a title and suffix written as an export writes them, dates with
// a year. FN is looked at by the caller.
template <class Item>
bool PlainItems(const std::vector<Item>& items) {
    size_t preferred = 0;
    for (const auto& item : items) {
        if (!item.group.empty() || !item.otherTypes.empty()) return false;
        preferred += item.preferred;
    }
    return preferred <= 1;
}

bool RecordsHoldAll(const ContactCard& card, const tagContactInfo& record, const std::vector<std::string>& categories) {
    if (!card.extras.empty() || !card.kind.empty() || !card.members.empty()) return false;
    if (card.prefixes != HonorificText(kTitles, record.eTitle) ||
        card.suffixes != HonorificText(kSuffixes, record.eSuffix))
        return false;
    for (const auto& f : kDateFields) {
        const auto& date = card.*f.member;
        if (!date) continue;
        const CivilDate civil = ToCivil(record.*f.record);
        if (CardDate{civil.year, civil.month, civil.day} != *date) return false;
    }
    for (const auto& a : card.addresses)
        if (!a.poBox.empty() || !a.extended.empty()) return false;
    return PlainItems(card.addresses) && PlainItems(card.phones) && PlainItems(card.emails) && PlainItems(card.urls) &&
           PlainItems(card.ims) && card.categories == categories;
}

}  // namespace

// What storing one card writes: the record, each family's items in
// DetailFamilies() order, the group names.
struct ContactImporter::Planned {
    struct Item {
        DetailFields fields;
        bool primary;
        std::unique_ptr<PreparedDetail> record;  // made with the plan, off the storing thread
    };
    OwnedRecord<tagContactInfo> record;
    bool titleGiven = false, suffixGiven = false;
    std::array<std::vector<Item>, kDetailFamilyCount> items;
    std::vector<std::string> categories;
    std::string uid;       // the card's UID; empty when it has none
    std::string original;  // the card's own text
    std::string matchKey;  // MatchKeyOf(record)
    std::string hash;      // of the contact this plan adds, as it will read back
    SqlText sideValues;    // SideRowValues of the contact this plan adds
    // For the report, which only the storing thread touches.
    std::vector<std::string> warnings;   // at the card's line
    std::vector<std::string> notStored;  // values read that have no place
};

// A batch of cards with what each would store.
struct ContactImporter::PlannedBatch {
    std::vector<ContactCard> cards;
    std::string file;
    std::vector<std::unique_ptr<Planned>> planned;
};

ContactImporter::ContactImporter(Session& session, ImportReport& report)
    : m_session(session),
      m_report(report),
      m_contacts(session.access<IContactAccess>()),
      m_groups(session.access<IContactGroupAccess>()),
      m_side(std::make_unique<SideStore>(session)),
      m_profileId(Utf16ToUtf8(session.profileId())) {
    // Contacts stored before the side store knew them (by another program,
    // or before side state existed) get their match keys now, a chunk at
    // a time; later imports find them by key.
    m_side->upgrade();
    for (;;) {
        SqlText sql(
            u"SELECT [ContactID], [LastName], [FirstName], [MiddleName], [CompanyName] FROM [tContact] "
            u"WHERE [ProfileID] = '");
        sql.AppendQuoted(session.profileId()).Append(u"'");
        if (m_side->present())
            sql.Append(
                u" AND [ContactID] NOT IN (SELECT row_id FROM calyra_item WHERE family = 'contact' AND match_key <> "
                u"'')");
        sql.Append(u" ORDER BY [ContactID] LIMIT 5000;");
        const TextRows rows = QueryRows(session.connection(), sql.view());
        if (rows.empty()) break;
        m_startedEmpty = false;
        std::vector<std::pair<std::string, std::string>> keys;
        for (const auto& row : rows) {
            OwnedRecord<tagContactInfo> c;
            c.bstrLastName = Bstr::FromUtf8(row[1]).Detach();
            c.bstrFirstName = Bstr::FromUtf8(row[2]).Detach();
            c.bstrMiddleName = Bstr::FromUtf8(row[3]).Detach();
            c.bstrCompanyName = Bstr::FromUtf8(row[4]).Detach();
            keys.push_back({row[0], MatchKeyOf(c)});
        }
        m_side->putKeys(ItemFamily::Contact, m_profileId, keys);
        if (rows.size() < 5000) break;
    }
    if (m_startedEmpty && m_side->present()) {
        SqlText any(u"SELECT 1 FROM [tContact] WHERE [ProfileID] = '");
        any.AppendQuoted(session.profileId()).Append(u"' LIMIT 1;");
        m_startedEmpty = QueryRows(session.connection(), any.view()).empty();
    }
    // Every key the table has had: its sequence, or its largest key when it
    // has no sequence (yet).
    const TextRows top =
        QueryRows(session.connection(),
                  u"SELECT MAX(COALESCE((SELECT seq FROM sqlite_sequence WHERE name = 'tContact'), 0), "
                  u"COALESCE((SELECT MAX([ContactID]) FROM [tContact]), 0));");
    m_addedAbove = top.empty() || top[0].empty() ? 0 : std::stoll(top[0][0]);
}

ContactImporter::~ContactImporter() = default;

std::string ContactImporter::groupId(const std::string& name) {
    if (!m_groupsLoaded) {
        for (const auto& g : AllGroups(m_groups.get()))
            m_groupIds.emplace(JsonText(g["contact_group_name"]), JsonText(g["contact_group_id"]));
        m_groupsLoaded = true;
    }
    if (auto it = m_groupIds.find(name); it != m_groupIds.end()) return it->second;
    OwnedRecord<tagContactGroupInfo> group;
    SetField(RequireField(RecordDescriptionOf<tagContactGroupInfo>(), "contact_group_name"), &group, name);
    LONG err = 0;
    Bstr id;
    Check(m_groups->AddContactGroup(&err, &group, &id), err, "cannot add the contact group \"" + name + "\"");
    m_newGroups.push_back(name);
    return m_groupIds[name] = id.utf8();
}

std::unique_ptr<ContactImporter::Planned> ContactImporter::plan(ContactCard card) {
    auto planned = std::make_unique<Planned>();
    // Texts longer than a field gives back are cut, and said so.
    auto fit = [&](std::string& text, const char* what) {
        bool cut = false;
        text = FitText(text, &cut);
        if (cut) planned->warnings.push_back(std::string(what) + " is longer than a record keeps; cut");
    };
    for (const auto& f : kTextFields) fit(card.*f.member, f.key);

    OwnedRecord<tagContactInfo>& contact = planned->record;
    // Whether FN is what a card written from the records would say.
    std::string formattedName;
    std::swap(formattedName, card.formattedName);
    bool formattedKept = formattedName.empty() || formattedName == interchange::DisplayName(card);
    std::swap(formattedName, card.formattedName);
    // A company's card (KIND:org) keeps its name as the company's, not a person's.
    if (card.givenName.empty() && card.familyName.empty() && card.additionalNames.empty() &&
        !card.formattedName.empty() && card.formattedName != card.organization && card.kind != "org") {
        formattedKept = false;
        // Only a formatted name: its last word is taken as the family name.
        const size_t space = card.formattedName.rfind(' ');
        card.familyName = space == std::string::npos ? card.formattedName : card.formattedName.substr(space + 1);
        card.givenName = space == std::string::npos ? "" : card.formattedName.substr(0, space);
        fit(card.familyName, "last_name");
        fit(card.givenName, "first_name");
    }
    for (size_t i = 0; i < std::size(kTextFields); ++i)
        SetField(TextFieldInfo(i), &contact, card.*kTextFields[i].member);
    if (!card.prefixes.empty()) {
        if (auto v = HonorificValue(kTitles, card.prefixes)) {
            contact.eTitle = static_cast<enumTitle>(*v);
            planned->titleGiven = true;
        } else {
            planned->notStored.push_back("N (title \"" + card.prefixes + "\")");
        }
    }
    if (!card.suffixes.empty()) {
        if (auto v = HonorificValue(kSuffixes, card.suffixes)) {
            contact.eSuffix = static_cast<enumSuffix>(*v);
            planned->suffixGiven = true;
        } else {
            planned->notStored.push_back("N (suffix \"" + card.suffixes + "\")");
        }
    }
    for (const auto& f : kDateFields) {
        const auto& date = card.*f.member;
        if (!date) continue;
        if (date->year == 0) {
            planned->notStored.push_back(std::string(f.property) + " (without a year)");
            continue;
        }
        contact.*f.record = FromCivil({date->year, date->month, date->day, 0, 0, 0});
    }

    auto fitted = [&](const std::string& text) {
        bool cut = false;
        std::string out = FitText(text, &cut);
        if (cut) planned->warnings.push_back("a detail is longer than a record keeps; cut");
        return out;
    };
    auto item = [&](const char* name, DetailFields fields, bool primary) {
        const DetailFamily& family = *FindDetailFamily(name);
        auto record = family.prepare(family, fields);
        planned->items[DetailFamilyIndex(family)].push_back({std::move(fields), primary, std::move(record)});
    };
    for (const auto& a : card.addresses)
        item("address",
             {{"location_type", PlaceName(a.place)},
              {"street", fitted(Joined({&a.poBox, &a.extended, &a.street}, "\n"))},
              {"city", fitted(a.locality)},
              {"state", fitted(a.region)},
              {"zip_code", fitted(a.postalCode)},
              {"country", fitted(a.country)}},
             a.preferred);
    for (const auto& p : card.phones)
        item("phone",
             {{"location_type", PlaceName(p.place)},
              {"phone_number_type", PhoneTypeName(p.kind)},
              {"phone_number", fitted(p.number)}},
             p.preferred);
    for (const auto& e : card.emails)
        item("email", {{"location_type", PlaceName(e.place)}, {"email", fitted(e.text)}}, e.preferred);
    for (const auto& u : card.urls)
        item("url", {{"location_type", PlaceName(u.place)}, {"web_url", fitted(u.text)}}, u.preferred);
    for (const auto& im : card.ims)
        item("im",
             {{"location_type", PlaceName(im.place)},
              {"protocol", fitted(im.protocol)},
              {"address", fitted(im.address)}},
             im.preferred);
    for (const auto& category : card.categories) {
        const std::string name = fitted(category);
        if (!name.empty() &&
            std::find(planned->categories.begin(), planned->categories.end(), name) == planned->categories.end())
            planned->categories.push_back(name);
    }
    planned->uid = card.uid;
    if (!formattedKept || !planned->warnings.empty() || !planned->notStored.empty() ||
        !RecordsHoldAll(card, contact, planned->categories))
        planned->original = std::move(card.source);
    planned->matchKey = MatchKeyOf(contact);
    // The hash of the contact as it will read back (StoredContactHash's
    // text), from the records the plan holds.
    std::string text = ContactHashText(contact);
    const auto families = DetailFamilies();
    for (size_t i = 0; i < families.size(); ++i) {
        const auto& fields = FieldsOf(*families[i].record);
        for (const auto& item : planned->items[i]) {
            const void* record = item.record->image(item.primary);
            text.append(families[i].name).push_back(':');
            for (size_t f = 1; f < fields.size(); ++f) {
                text.append(fields[f].key).push_back('=');
                AppendDetailHashText(text, fields[f], record);
                text.push_back('\x1f');
            }
            text.push_back('\n');
        }
    }
    planned->hash = ContentHash(text);
    planned->sideValues = SideRowValues(
        SideItem{ItemFamily::Contact, "", "", planned->uid, planned->hash, planned->original, planned->matchKey});
    return planned;
}

void ContactImporter::prepareCandidates(std::span<const std::unique_ptr<Planned>> planned) {
    m_candidates.clear();
    m_candidateSides.clear();
    m_byUid.clear();
    m_byName.clear();
    m_batchStored.reset();
    // Into a profile that had no contact, the only contacts are the
    // import's own, which match nothing: no statement need ask.
    if (m_startedEmpty) return;
    std::vector<std::string> uids, keys, ids;
    std::map<std::string, std::string> derived;  // row ID -> derived UID of a card
    for (const auto& p : planned) {
        if (!p->uid.empty()) {
            uids.push_back(p->uid);
            if (auto row = m_side->rowOfDerivedUid(m_profileId, ItemFamily::Contact, p->uid)) {
                ids.push_back(*row);
                derived[*row] = p->uid;
            }
        }
        keys.push_back(p->matchKey);
    }
    for (auto& [uid, item] : m_side->findByUids(m_profileId, ItemFamily::Contact, uids)) ids.push_back(item.rowId);
    for (const auto& key : m_side->findKeys(m_profileId, ItemFamily::Contact, keys)) ids.push_back(key.rowId);
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    std::erase_if(ids, [&](const std::string& id) {
        const long long n = std::stoll(id);
        return n > m_addedAbove || m_claimedIds.count(n);
    });
    if (ids.empty()) return;
    m_candidateSides = m_side->findByRows(ItemFamily::Contact, ids);
    // One batch reads fastest by scanning (a one-card sync pull); from the
    // second, the list pays for itself.
    if (++m_candidateReads == 2)
        m_detailIndex = std::make_unique<ContactDetailIndex>(m_session);
    else if (m_detailIndex)
        m_detailIndex->catchUp();
    m_batchStored = std::make_unique<ProfileContacts>(m_session, ids, m_detailIndex.get());
    const DetailFamily& phones = *FindDetailFamily("phone");
    const DetailFamily& emails = *FindDetailFamily("email");
    m_candidates.reserve(ids.size());
    for (const auto& id : ids) {
        const tagContactInfo* record = m_batchStored->contact(id);
        if (!record) continue;
        const auto side = m_candidateSides.find(id);
        Candidate candidate{record, id, std::stoll(id), side == m_candidateSides.end() ? "" : side->second.uid, {}, {}};
        for (const auto& item : m_batchStored->items(phones, id))
            if (std::string number = JsonText(item["phone_number"]); !number.empty())
                candidate.phones.push_back(std::move(number));
        for (const auto& item : m_batchStored->items(emails, id))
            if (std::string email = FoldForSearch(JsonText(item["email"])); !email.empty())
                candidate.emails.push_back(std::move(email));
        const size_t index = m_candidates.size();
        if (!candidate.uid.empty()) m_byUid.emplace(candidate.uid, index);
        if (auto it = derived.find(id); it != derived.end() && candidate.uid.empty())
            m_byUid.emplace(it->second, index);
        m_byName.emplace(MatchKeyOf(*record), index);
        m_candidates.push_back(std::move(candidate));
    }
}

ContactImporter::Candidate* ContactImporter::match(const Planned& planned) {
    auto unclaimed = [&](size_t index) { return !m_claimedIds.count(m_candidates[index].number); };
    if (!planned.uid.empty())
        if (auto it = m_byUid.find(planned.uid); it != m_byUid.end() && unclaimed(it->second))
            return &m_candidates[it->second];
    auto [first, last] = m_byName.equal_range(planned.matchKey);
    if (first == last) return nullptr;  // the common case, and cheap: no stored contact of that name
    std::vector<std::string> phones, emails;
    for (const auto& item : planned.items[DetailFamilyIndex(*FindDetailFamily("phone"))])
        for (const auto& [field, text] : item.fields)
            if (field == "phone_number" && !text.empty()) phones.push_back(text);
    for (const auto& item : planned.items[DetailFamilyIndex(*FindDetailFamily("email"))])
        for (const auto& [field, text] : item.fields)
            if (field == "email" && !text.empty()) emails.push_back(FoldForSearch(text));
    // The unclaimed contact of that name sharing the most contact points;
    // the first stored one among equals.
    Candidate* best = nullptr;
    size_t bestShared = 0;
    for (auto it = first; it != last; ++it) {
        Candidate& candidate = m_candidates[it->second];
        if (!unclaimed(it->second) || !SameMiddleName(*candidate.record, planned.record)) continue;
        if (!candidate.uid.empty() && !planned.uid.empty() && candidate.uid != planned.uid) continue;
        size_t shared = 0;
        for (const auto& mine : phones)
            shared += std::any_of(candidate.phones.begin(), candidate.phones.end(), [&](const std::string& theirs) {
                // Short numbers (extensions) only when they are the same digits.
                return SamePhoneNumber(mine, theirs) || Digits(mine) == Digits(theirs);
            });
        for (const auto& mine : emails)
            shared += std::count(candidate.emails.begin(), candidate.emails.end(), mine) > 0;
        const bool neither = phones.empty() && emails.empty() && candidate.phones.empty() && candidate.emails.empty();
        if (!neither && shared == 0) continue;
        if (!best || shared > bestShared || (shared == bestShared && candidate.number < best->number)) {
            best = &candidate;
            bestShared = shared;
        }
    }
    return best;
}

size_t ContactImporter::add(std::vector<ContactCard> cards, const std::string& file) {
    // The batch is planned on a second thread while the one before is
    // stored: planning touches neither the database nor the report, and
    // took a tenth of an import's time. That thread also frees the batch
    // stored before, whose texts were made on other threads: freeing them
    // on the storing thread cost it a tenth of its time in the allocator.
    // Where no thread can be started, the batch is planned when it is stored.
    // Group cards wait for the end: their members may come later in the file.
    size_t groups = 0;
    for (auto it = cards.begin(); it != cards.end();) {
        if (it->kind != "group") {
            ++it;
            continue;
        }
        m_groupCards.emplace_back(std::move(*it), file);
        it = cards.erase(it);
        ++groups;
    }
    auto batch = std::make_unique<PlannedBatch>(PlannedBatch{std::move(cards), file, {}});
    auto next = std::async(std::launch::async | std::launch::deferred,
                           [batch = std::move(batch), stored = std::move(m_storedBatch)]() mutable {
                               stored.reset();
                               batch->planned.reserve(batch->cards.size());
                               // Only each card's line is read after planning.
                               for (auto& card : batch->cards) batch->planned.push_back(plan(std::move(card)));
                               return std::move(batch);
                           });
    m_adding = true;
    const size_t count = finish();
    m_adding = false;
    m_planning = std::move(next);
    return count + groups;
}

size_t ContactImporter::finish() {
    if (!m_planning.valid()) {
        if (!m_adding) storeGroupCards();
        return 0;
    }
    m_storedBatch = m_planning.get();
    const PlannedBatch* batch = m_storedBatch.get();
    noteDiagnostics(batch->planned, batch->cards, batch->file);
    prepareCandidates(batch->planned);
    if (store(batch->planned)) {
        // A card was refused and the batch undone: again a card at a time,
        // so only the refused ones are left out.
        for (size_t i = 0; i < batch->planned.size(); ++i)
            if (auto why = store({&batch->planned[i], 1})) m_report.skip(batch->file, batch->cards[i].line, *why);
    }
    if (!m_adding) storeGroupCards();
    return batch->cards.size();
}

void ContactImporter::storeGroupCards() {
    size_t stored = 0;
    for (const auto& [card, file] : m_groupCards) {
        bool cut = false;
        const std::string name = FitText(interchange::DisplayName(card), &cut);
        if (name.empty()) {
            m_report.skip(file, card.line, "group card has no name");
            continue;
        }
        Run(m_session, u"SAVEPOINT calyra_group;");
        try {
            const std::string id = groupId(name);
            // Members by the UIDs the side store keeps, or by the UIDs an
            // export gave contacts made in calyra; a member named as a URN
            // ("urn:uuid:" and the UID, as exports write it) also by the
            // UID alone.
            std::vector<std::string> uids = card.members, members;
            for (const auto& member : card.members)
                if (member.starts_with(kUuidUrn)) uids.push_back(member.substr(kUuidUrn.size()));
            for (auto& [uid, item] : m_side->findByUids(m_profileId, ItemFamily::Contact, uids))
                members.push_back(item.rowId);
            for (const auto& uid : uids)
                if (auto row = m_side->rowOfDerivedUid(m_profileId, ItemFamily::Contact, uid)) members.push_back(*row);
            std::sort(members.begin(), members.end());
            members.erase(std::unique(members.begin(), members.end()), members.end());
            for (const auto& member : members) {
                const auto groups = GroupsOfContact(m_contacts.get(), member);
                if (std::find(groups.begin(), groups.end(), id) != groups.end()) continue;
                LONG err = 0;
                Check(m_contacts->AddContactToContactGroup(&err, Bstr::FromUtf8(member), Bstr::FromUtf8(id),
                                                           VARIANT_TRUE),
                      err, "cannot add contact " + member + " to group \"" + name + "\"");
            }
            m_side->put(SideItem{ItemFamily::Group, id, m_profileId, card.uid, ContentHash(name), card.source, ""});
            Run(m_session, u"RELEASE calyra_group;");
            ++stored;
        } catch (const ClientError& e) {
            Run(m_session, u"ROLLBACK TO calyra_group;");
            Run(m_session, u"RELEASE calyra_group;");
            for (const auto& n : m_newGroups) m_groupIds.erase(n);
            m_newGroups.clear();
            m_report.skip(file, card.line, e.what());
        }
    }
    m_groupCards.clear();
    if (stored) m_report.count("group_cards", stored);
    if (!m_newGroups.empty()) m_report.count("groups_created", m_newGroups.size());
    m_newGroups.clear();
}

void ContactImporter::noteDiagnostics(std::span<const std::unique_ptr<Planned>> planned,
                                      std::span<const ContactCard> cards, const std::string& file) {
    for (size_t i = 0; i < planned.size(); ++i) {
        for (const auto& why : planned[i]->warnings) m_report.warn(file, cards[i].line, why);
        for (const auto& name : planned[i]->notStored) m_report.notStored(name);
    }
}

std::optional<std::string> ContactImporter::store(std::span<const std::unique_ptr<Planned>> planned) {
    Run(m_session, u"SAVEPOINT calyra_cards;");
    std::vector<Outcome> outcomes;
    outcomes.reserve(planned.size());
    try {
        for (const auto& card : planned) outcomes.push_back(store(*card));
    } catch (const ClientError& e) {
        // What the undone statements made is forgotten too: the contacts
        // they claimed or added, the groups they created.
        Run(m_session, u"ROLLBACK TO calyra_cards;");
        Run(m_session, u"RELEASE calyra_cards;");
        for (long long number : m_claimed) m_claimedIds.erase(number);
        for (const auto& name : m_newGroups) m_groupIds.erase(name);
        m_claimed.clear();
        m_storedSince.clear();
        m_newGroups.clear();
        return e.what();
    }
    Run(m_session, u"RELEASE calyra_cards;");
    // The side rows are written after the savepoint, inside the import's
    // transaction: within it, SQLite would first copy every page they touch
    // (the key index's, all over) to undo them. A failure here ends the
    // import, which then stores nothing.
    keepSideState();
    m_claimed.clear();
    m_storedSince.clear();
    if (!m_newGroups.empty()) m_report.count("groups_created", m_newGroups.size());
    m_newGroups.clear();
    for (Outcome outcome : outcomes) {
        if (outcome == Outcome::Added)
            m_report.imported();
        else if (outcome == Outcome::Updated)
            m_report.updated();
        else
            m_report.unchanged();
    }
    return std::nullopt;
}

ContactImporter::Outcome ContactImporter::store(Planned& planned) {
    Candidate* stored = match(planned);
    if (!stored) {
        std::string id = insert(planned);
        m_storedSince.push_back({std::move(id), &planned, true, true});
        return Outcome::Added;
    }
    const bool changed = update(planned, *stored);
    m_claimedIds.insert(stored->number);
    m_claimed.push_back(stored->number);
    m_storedSince.push_back({stored->id, &planned, false, changed});
    return changed ? Outcome::Updated : Outcome::Unchanged;
}

void ContactImporter::keepSideState() {
    if (m_storedSince.empty()) return;
    std::vector<std::string> changed;
    for (const auto& stored : m_storedSince)
        if (!stored.added && stored.changed) changed.push_back(stored.id);
    // A contact the card changed is read back (one query per family for
    // all of them): what it holds now is the card and what it had before.
    // One it left as it was, and the side row of any matched one, is what
    // the batch's candidates read: nothing writes side rows before this.
    std::unique_ptr<ProfileContacts> back;
    const std::map<std::string, SideItem>& before = m_candidateSides;
    if (!changed.empty()) {
        if (m_detailIndex) m_detailIndex->catchUp();
        back = std::make_unique<ProfileContacts>(m_session, changed, m_detailIndex.get());
    }
    // An added contact's row was written out when its card was planned;
    // only a matched one's is made here, from what it holds now.
    std::vector<SqlText> matched;
    std::vector<PreparedSideRow> rows;
    matched.reserve(m_storedSince.size());
    rows.reserve(m_storedSince.size());
    for (const auto& stored : m_storedSince) {
        if (stored.added) {
            rows.push_back({ItemFamily::Contact, stored.id, m_profileId, &stored.planned->sideValues});
            continue;
        }
        const ProfileContacts& now = stored.changed ? *back : *m_batchStored;
        const tagContactInfo* record = now.contact(stored.id);
        if (!record) continue;
        SideItem item{ItemFamily::Contact,
                      stored.id,
                      m_profileId,
                      stored.planned->uid,
                      StoredContactHash(now, *record),
                      stored.planned->original,
                      MatchKeyOf(*record)};
        if (auto it = before.find(stored.id); it != before.end()) {
            // A card without a UID or text of its own keeps the ones the
            // contact had.
            if (item.uid.empty()) item.uid = it->second.uid;
            if (item.original.empty()) item.original = it->second.original;
            // Kept as it was (a re-import's usual case): its row, written
            // when it was kept, stays.
            if (!stored.changed && item == it->second) continue;
        }
        matched.push_back(SideRowValues(item));
        rows.push_back({ItemFamily::Contact, stored.id, m_profileId, &matched.back()});
    }
    m_side->put(rows);
}

std::string ContactImporter::insert(Planned& planned) {
    LONG err = 0;
    Bstr id;
    Check(m_contacts->AddContact(&err, &planned.record, &id), err, "cannot add the contact");
    std::string contactId = id.utf8();
    addDetails(planned, contactId, nullptr);
    return contactId;
}

bool ContactImporter::update(const Planned& planned, const Candidate& candidate) {
    const tagContactInfo& stored = *candidate.record;
    const std::string& id = candidate.id;
    // The card's fields where it gives one; the stored ones elsewhere. The
    // plan stays as it was, in case the card is stored again.
    bool changed = false;
    std::vector<std::string> given;
    OwnedRecord<tagContactInfo> merged;
    for (const auto& f : FieldsOf(RecordDescriptionOf<tagContactInfo>())) {
        if (f.key == "contact_id" || f.key == "modified") continue;
        const Json mine = FieldToJson(f, &planned.record);
        const bool gives = f.key == "title"    ? planned.titleGiven
                           : f.key == "suffix" ? planned.suffixGiven
                                               : !(mine.is_null() || mine == "");
        if (gives) {
            given.push_back(f.key);
            changed = changed || mine != FieldToJson(f, &stored);
        }
        CopyField(f, gives ? static_cast<const void*>(&planned.record) : &stored, &merged);
    }
    if (changed) {
        RefuseCutTexts(
            RecordDescriptionOf<tagContactInfo>(), &stored,
            [&](const std::string& key) { return std::find(given.begin(), given.end(), key) != given.end(); },
            "contact " + id);
        LONG err = 0;
        Check(m_contacts->ModifyContactByID(&err, Bstr::FromUtf8(id), &merged), err, "cannot change contact " + id);
    }
    return addDetails(planned, id, m_batchStored.get()) || changed;
}

bool ContactImporter::addDetails(const Planned& planned, const std::string& contactId, const ProfileContacts* stored) {
    bool added = false;
    const Bstr id = Bstr::FromUtf8(contactId);
    const auto families = DetailFamilies();
    for (size_t i = 0; i < families.size(); ++i) {
        const DetailFamily& family = families[i];
        // Items the contact has already are not added again; a new one is
        // primary only when the contact has no primary item of its kind.
        std::vector<std::string> have;
        bool hasPrimary = false;
        if (stored)
            for (const auto& item : stored->items(family, contactId)) {
                have.push_back(ItemKey(family, item));
                hasPrimary = hasPrimary || item.value("primary", false);
            }
        for (const auto& item : planned.items[i]) {
            // Compared as the item would read back, so a stored item and
            // the card's are keyed alike.
            std::string key = stored ? ItemKey(family, family.preview(family, item.fields, item.primary)) : "";
            if (stored && std::find(have.begin(), have.end(), key) != have.end()) continue;
            item.record->addTo(m_contacts.get(), id, item.primary && !hasPrimary);
            hasPrimary = hasPrimary || (stored && item.primary);
            have.push_back(std::move(key));
            added = true;
        }
    }
    std::vector<std::string> groups;
    if (stored)
        for (const auto& g : stored->groups(contactId)) groups.push_back(g.name);
    for (const auto& name : planned.categories) {
        if (std::find(groups.begin(), groups.end(), name) != groups.end()) continue;
        const std::string group = groupId(name);
        LONG err = 0;
        Check(m_contacts->AddContactToContactGroup(&err, id, Bstr::FromUtf8(group), VARIANT_TRUE), err,
              "cannot add the contact to group \"" + name + "\"");
        added = true;
    }
    return added;
}

bool ContactImporter::replace(const ContactCard& card, const std::string& id, const std::string& file) {
    const ProfileContacts current(m_session, std::vector<std::string>{id});
    const tagContactInfo* stored = current.contact(id);
    if (!stored) throw ClientError("no contact \"" + id + "\" in the current profile");
    std::unique_ptr<Planned> planned = plan(card);
    noteDiagnostics({&planned, 1}, {&card, 1}, file);

    bool changed = false;
    for (const auto& f : FieldsOf(RecordDescriptionOf<tagContactInfo>())) {
        if (f.key == "contact_id" || f.key == "modified") continue;
        if (!CardCarries(f))
            CopyField(f, stored, &planned->record);
        else if (FieldToJson(f, &planned->record) != FieldToJson(f, stored))
            changed = true;
    }
    if (changed) {
        LONG err = 0;
        Check(m_contacts->ModifyContactByID(&err, Bstr::FromUtf8(id), &planned->record), err,
              "cannot change contact " + id);
    }

    const auto families = DetailFamilies();
    for (size_t i = 0; i < families.size(); ++i) {
        const DetailFamily& family = families[i];
        Json have = Json::array(), want = Json::array();
        for (const auto& item : current.items(family, id)) have.push_back(ItemImage(family, item));
        for (const auto& item : planned->items[i])
            want.push_back(ItemImage(family, family.preview(family, item.fields, item.primary)));
        if (have == want) continue;
        // Replaced whole: an edited list is the person's new list, in
        // their order.
        family.clear(family, m_contacts.get(), id);
        for (const auto& item : planned->items[i]) family.add(family, m_contacts.get(), id, item.fields, item.primary);
        changed = true;
    }

    const auto& groups = current.groups(id);
    const auto& wanted = planned->categories;
    for (const auto& group : groups) {
        if (std::find(wanted.begin(), wanted.end(), group.name) != wanted.end()) continue;
        LONG err = 0;
        Check(m_contacts->RemoveContactFromContactGroup(&err, Bstr::FromUtf8(id), Bstr::FromUtf8(group.id)), err,
              "cannot take the contact out of group \"" + group.name + "\"");
        changed = true;
    }
    for (const auto& name : wanted) {
        if (std::any_of(groups.begin(), groups.end(), [&](const GroupRef& g) { return g.name == name; })) continue;
        LONG err = 0;
        Check(
            m_contacts->AddContactToContactGroup(&err, Bstr::FromUtf8(id), Bstr::FromUtf8(groupId(name)), VARIANT_TRUE),
            err, "cannot add the contact to group \"" + name + "\"");
        changed = true;
    }
    if (!m_newGroups.empty()) m_report.count("groups_created", m_newGroups.size());
    m_newGroups.clear();

    // The side state follows the edit: the edited card is the contact's
    // text now, and the hash is of the contact as it reads back.
    const ProfileContacts back(m_session, std::vector<std::string>{id});
    if (const tagContactInfo* now = back.contact(id)) {
        auto before = m_side->find(ItemFamily::Contact, id);
        SideItem item{
            ItemFamily::Contact, id, m_profileId, planned->uid, StoredContactHash(back, *now), planned->original,
            MatchKeyOf(*now)};
        if (before && item.uid.empty()) item.uid = before->uid;
        m_side->put(item);
    }
    return changed;
}

ContactCard ContactImporter::exported(const ProfileContacts& all, const tagContactInfo& c, const SideItem* side,
                                      SideStore& store, const std::string& profileId) {
    ContactCard card = CardOf(all, c);
    const std::string id = BstrUtf8(c.bstrContactID);
    card.uid = side && !side->uid.empty() ? side->uid : store.derivedUid(profileId, ItemFamily::Contact, id);
    if (!side || side->original.empty()) return card;
    auto parsed = interchange::ParseVCardText(side->original);
    if (parsed.cards.empty()) return card;
    ContactCard& original = parsed.cards.front();
    // Where the record holds what the original card would store, the
    // original's value is what the person gave: uncut, a birthday without
    // a year, a title the records have no value for, labelled details.
    const std::unique_ptr<Planned> planned = plan(original);
    const RecordDesc& desc = RecordDescriptionOf<tagContactInfo>();
    auto same = [&](std::string_view key) {
        const FieldInfo& f = RequireField(desc, std::string(key));
        return FieldToJson(f, &planned->record) == FieldToJson(f, &c);
    };
    bool namesKept = true;
    for (const auto& f : kTextFields) {
        const bool kept = same(f.key);
        if (kept) card.*f.member = original.*f.member;
        if (std::string_view(f.key).ends_with("_name") && std::string_view(f.key) != "spouse_name")
            namesKept = namesKept && kept;
    }
    if (namesKept) card.formattedName = original.formattedName;
    if (same("title")) card.prefixes = original.prefixes;
    if (same("suffix")) card.suffixes = original.suffixes;
    if (same("birthday")) card.birthday = original.birthday;
    if (same("anniversary")) card.anniversary = original.anniversary;
    const auto families = DetailFamilies();
    for (size_t i = 0; i < families.size(); ++i) {
        Json have = Json::array(), want = Json::array();
        for (const auto& item : all.items(families[i], id)) have.push_back(ItemImage(families[i], item));
        for (const auto& item : planned->items[i])
            want.push_back(ItemImage(families[i], families[i].preview(families[i], item.fields, item.primary)));
        if (have != want) continue;
        switch (i) {
            case 0:
                card.addresses = original.addresses;
                break;
            case 1:
                card.phones = original.phones;
                break;
            case 2:
                card.emails = original.emails;
                break;
            case 3:
                card.urls = original.urls;
                break;
            default:
                card.ims = original.ims;
                break;
        }
    }
    std::vector<std::string> groups = card.categories, wanted = planned->categories;
    std::sort(groups.begin(), groups.end());
    std::sort(wanted.begin(), wanted.end());
    if (groups == wanted) card.categories = original.categories;
    card.kind = original.kind;
    card.members = original.members;
    card.extras = original.extras;
    return card;
}

ContactCard ExportContact(Session& session, const std::string& id) {
    const ProfileContacts all(session, std::vector<std::string>{id});
    const tagContactInfo* c = all.contact(id);
    if (!c) throw ClientError("no contact \"" + id + "\" in the current profile");
    SideStore side(session);
    const auto kept = side.find(ItemFamily::Contact, id);
    return ContactImporter::exported(all, *c, kept ? &*kept : nullptr, side, Utf16ToUtf8(session.profileId()));
}

namespace {

// The profile's contacts a chunk at a time, in ID order, each chunk with
// its records read: memory follows the chunk, not the profile.
void ForEachContactChunk(
    Session& session,
    const std::function<void(const std::vector<std::string>& ids, const ProfileContacts& all)>& visit) {
    constexpr size_t kChunk = 5000;
    const ContactDetailIndex index(session);
    std::string after = "0";
    for (;;) {
        SqlText sql(u"SELECT [ContactID] FROM [tContact] WHERE [ProfileID] = '");
        sql.AppendQuoted(session.profileId())
            .Append(u"' AND [ContactID] > '")
            .AppendQuoted(Utf8ToUtf16(after))
            .Append(u"' ORDER BY [ContactID] LIMIT ")
            .AppendLong(static_cast<LONG>(kChunk))
            .Append(u";");
        std::vector<std::string> ids;
        for (auto& row : QueryRows(session.connection(), sql.view())) ids.push_back(std::move(row[0]));
        if (ids.empty()) return;
        visit(ids, ProfileContacts(session, ids, &index));
        if (ids.size() < kChunk) return;
        after = ids.back();
    }
}

}  // namespace

void ExportContacts(Session& session, const std::function<void(ContactCard& card)>& visit) {
    SideStore side(session);
    const std::string profileId = Utf16ToUtf8(session.profileId());
    ForEachContactChunk(session, [&](const std::vector<std::string>& ids, const ProfileContacts& all) {
        const auto kept = side.findByRows(ItemFamily::Contact, ids);
        for (const auto& id : ids) {
            const tagContactInfo* c = all.contact(id);
            if (!c) continue;
            auto it = kept.find(id);
            ContactCard card =
                ContactImporter::exported(all, *c, it == kept.end() ? nullptr : &it->second, side, profileId);
            visit(card);
        }
    });
}

ContactSideCheck CheckContactSideState(Session& session, bool repair) {
    ContactSideCheck result;
    SideStore side(session);
    const std::string profileId = Utf16ToUtf8(session.profileId());
    ForEachContactChunk(session, [&](const std::vector<std::string>& ids, const ProfileContacts& all) {
        auto kept = side.findByRows(ItemFamily::Contact, ids);
        std::vector<SideItem> rehashed;
        std::vector<std::pair<std::string, std::string>> keys;
        for (const auto& id : ids) {
            const tagContactInfo* c = all.contact(id);
            if (!c) continue;
            if (repair) keys.push_back({id, MatchKeyOf(*c)});
            auto it = kept.find(id);
            if (it == kept.end()) continue;
            ++result.checked;
            const std::string hash = StoredContactHash(all, *c);
            if (hash == it->second.hash) continue;
            if (!IsOlderHash(it->second.hash)) result.changed.push_back(id);
            it->second.hash = hash;
            rehashed.push_back(std::move(it->second));
        }
        if (repair) {
            side.put(rehashed);
            side.putKeys(ItemFamily::Contact, profileId, keys);
        }
    });
    return result;
}

void ExportGroups(Session& session, const std::function<void(ContactCard& card)>& visit) {
    SideStore side(session);
    const std::string profileId = Utf16ToUtf8(session.profileId());
    auto contacts = session.access<IContactAccess>();
    for (const auto& group : AllGroups(session.access<IContactGroupAccess>().get())) {
        const std::string id = JsonText(group["contact_group_id"]);
        ContactCard card;
        card.kind = "group";
        card.formattedName = JsonText(group["contact_group_name"]);
        card.uid = side.uidOf(profileId, ItemFamily::Group, id);
        LONG err = 0, count = 0;
        OwnedRecordArray<tagContactInfo> members;
        Check(contacts->GetContactsByContactGroupID(&err, Bstr::FromUtf8(id), &count, &members), err,
              "cannot read the members of group " + id);
        std::vector<std::string> ids;
        for (const auto& member : members) ids.push_back(BstrUtf8(member.bstrContactID));
        const auto kept = side.findByRows(ItemFamily::Contact, ids);
        for (const auto& member : ids) {
            auto it = kept.find(member);
            std::string uid = it != kept.end() && !it->second.uid.empty()
                                  ? it->second.uid
                                  : side.derivedUid(profileId, ItemFamily::Contact, member);
            card.members.push_back(uid.starts_with(kUuidUrn) ? uid : std::string(kUuidUrn) + uid);
        }
        visit(card);
    }
}

std::optional<std::string> StoredContactHash(Session& session, const std::string& id) {
    const ProfileContacts stored(session, std::vector<std::string>{id});
    const tagContactInfo* c = stored.contact(id);
    if (!c) return std::nullopt;
    return StoredContactHash(stored, *c);
}

std::vector<ContactCard> ExportContacts(Session& session) {
    std::vector<ContactCard> cards;
    ExportContacts(session, [&](ContactCard& card) { cards.push_back(std::move(card)); });
    return cards;
}

}  // namespace calyra::cli
