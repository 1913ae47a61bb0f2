#include "import_export/contact_cards.h"

#include <algorithm>
#include <cctype>

#include "idl/owned_record.h"
#include "import_export/conversions.h"
#include "platform/bstr.h"
#include "records/contact_details.h"
#include "records/contact_records.h"
#include "shell/client_error.h"
#include "shell/date_text.h"
#include "shell/record_fields.h"

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

std::string Text(const Json& v) { return v.is_string() ? v.get<std::string>() : ""; }

const FieldInfo& Field(const RecordDesc& desc, const char* key) {
    const FieldInfo* f = FindField(desc, key);
    if (!f) throw std::logic_error(std::string(desc.name) + " has no field " + key);
    return *f;
}

std::string Joined(std::initializer_list<const std::string*> parts, const char* separator) {
    std::string out;
    for (const std::string* p : parts)
        if (!p->empty()) out += (out.empty() ? "" : separator) + *p;
    return out;
}

}  // namespace

ContactImporter::ContactImporter(Session& session, ImportReport& report)
    : m_report(report), m_contacts(session.access<IContactAccess>()), m_groups(session.access<IContactGroupAccess>()) {}

std::string ContactImporter::groupId(const std::string& name) {
    if (!m_groupsLoaded) {
        for (const auto& g : AllGroups(m_groups.get()))
            m_groupIds.emplace(Text(g["contact_group_name"]), Text(g["contact_group_id"]));
        m_groupsLoaded = true;
    }
    if (auto it = m_groupIds.find(name); it != m_groupIds.end()) return it->second;
    OwnedRecord<tagContactGroupInfo> group;
    SetField(Field(RecordDescriptionOf<tagContactGroupInfo>(), "contact_group_name"), &group, name);
    LONG err = 0;
    Bstr id;
    Check(m_groups->AddContactGroup(&err, &group, &id), err, "cannot add the contact group \"" + name + "\"");
    m_report.count("groups_created");
    return m_groupIds[name] = id.utf8();
}

void ContactImporter::add(const ContactCard& source, const std::string& file) {
    ContactCard card = source;
    // Texts longer than a field gives back are cut, and said so.
    auto fit = [&](std::string& text, const char* what) {
        bool cut = false;
        text = FitText(text, &cut);
        if (cut) m_report.warn(file, card.line, std::string(what) + " is longer than a record keeps; cut");
    };
    for (const auto& f : kTextFields) fit(card.*f.member, f.key);

    const RecordDesc& desc = RecordDescriptionOf<tagContactInfo>();
    OwnedRecord<tagContactInfo> contact;
    if (card.givenName.empty() && card.familyName.empty() && card.additionalNames.empty() &&
        !card.formattedName.empty() && card.formattedName != card.organization) {
        // Only a formatted name: its last word is taken as the family name.
        const size_t space = card.formattedName.rfind(' ');
        card.familyName = space == std::string::npos ? card.formattedName : card.formattedName.substr(space + 1);
        card.givenName = space == std::string::npos ? "" : card.formattedName.substr(0, space);
        fit(card.familyName, "last_name");
        fit(card.givenName, "first_name");
    }
    for (const auto& f : kTextFields) SetField(Field(desc, f.key), &contact, card.*f.member);
    if (!card.prefixes.empty()) {
        if (auto v = HonorificValue(kTitles, card.prefixes))
            contact.eTitle = static_cast<enumTitle>(*v);
        else
            m_report.notStored("N (title \"" + card.prefixes + "\")");
    }
    if (!card.suffixes.empty()) {
        if (auto v = HonorificValue(kSuffixes, card.suffixes))
            contact.eSuffix = static_cast<enumSuffix>(*v);
        else
            m_report.notStored("N (suffix \"" + card.suffixes + "\")");
    }
    for (const auto& f : kDateFields) {
        const auto& date = card.*f.member;
        if (!date) continue;
        if (date->year == 0) {
            m_report.notStored(std::string(f.property) + " (without a year)");
            continue;
        }
        contact.*f.record = FromCivil({date->year, date->month, date->day, 0, 0, 0});
    }

    LONG err = 0;
    Bstr id;
    try {
        Check(m_contacts->AddContact(&err, &contact, &id), err, "cannot add the contact");
    } catch (const ClientError& e) {
        m_report.skip(file, card.line, e.what());
        return;
    }
    try {
        addCard(card, file, id.utf8());
    } catch (const ClientError& e) {
        // Nothing half-imported stays behind.
        LONG ignored = 0;
        m_contacts->DeleteContactByID(&ignored, id);
        m_contacts->DeleteIMsByContactID(&ignored, id);
        m_report.skip(file, card.line, e.what());
        return;
    }
    m_report.imported();
}

void ContactImporter::addCard(const ContactCard& card, const std::string& file, const std::string& contactId) {
    auto fitted = [&](const std::string& text) {
        bool cut = false;
        std::string out = FitText(text, &cut);
        if (cut) m_report.warn(file, card.line, "a detail is longer than a record keeps; cut");
        return out;
    };
    const DetailFamily& addresses = *FindDetailFamily("address");
    for (const auto& a : card.addresses)
        addresses.add(addresses, m_contacts.get(), contactId,
                      {{"location_type", PlaceName(a.place)},
                       {"street", fitted(Joined({&a.poBox, &a.extended, &a.street}, "\n"))},
                       {"city", fitted(a.locality)},
                       {"state", fitted(a.region)},
                       {"zip_code", fitted(a.postalCode)},
                       {"country", fitted(a.country)}},
                      a.preferred);
    const DetailFamily& phones = *FindDetailFamily("phone");
    for (const auto& p : card.phones)
        phones.add(phones, m_contacts.get(), contactId,
                   {{"location_type", PlaceName(p.place)},
                    {"phone_number_type", PhoneTypeName(p.kind)},
                    {"phone_number", fitted(p.number)}},
                   p.preferred);
    const DetailFamily& emails = *FindDetailFamily("email");
    for (const auto& e : card.emails)
        emails.add(emails, m_contacts.get(), contactId,
                   {{"location_type", PlaceName(e.place)}, {"email", fitted(e.text)}}, e.preferred);
    const DetailFamily& urls = *FindDetailFamily("url");
    for (const auto& u : card.urls)
        urls.add(urls, m_contacts.get(), contactId,
                 {{"location_type", PlaceName(u.place)}, {"web_url", fitted(u.text)}}, u.preferred);
    const DetailFamily& ims = *FindDetailFamily("im");
    for (const auto& im : card.ims)
        ims.add(ims, m_contacts.get(), contactId,
                {{"location_type", PlaceName(im.place)},
                 {"protocol", fitted(im.protocol)},
                 {"address", fitted(im.address)}},
                im.preferred);
    for (const auto& category : card.categories) {
        const std::string name = fitted(category);
        if (name.empty()) continue;
        const std::string group = groupId(name);
        LONG err = 0;
        Check(
            m_contacts->AddContactToContactGroup(&err, Bstr::FromUtf8(contactId), Bstr::FromUtf8(group), VARIANT_TRUE),
            err, "cannot add the contact to group \"" + name + "\"");
    }
}

std::vector<ContactCard> ExportContacts(Session& session) {
    auto contacts = session.access<IContactAccess>();
    LONG err = 0, count = 0;
    OwnedRecordArray<tagContactInfo> all;
    Check(contacts->GetAllContacts(&err, &count, &all), err, "cannot list the contacts");
    const RecordDesc& desc = RecordDescriptionOf<tagContactInfo>();
    std::vector<ContactCard> cards;
    cards.reserve(static_cast<size_t>(std::max<LONG>(count, 0)));
    for (const tagContactInfo& c : all) {
        ContactCard card;
        for (const auto& f : kTextFields) card.*f.member = Text(FieldToJson(Field(desc, f.key), &c));
        card.prefixes = HonorificText(kTitles, c.eTitle);
        card.suffixes = HonorificText(kSuffixes, c.eSuffix);
        for (const auto& f : kDateFields) {
            const DATE d = c.*f.record;
            if (d == 0) continue;
            const CivilDate civil = ToCivil(d);
            card.*f.member = CardDate{civil.year, civil.month, civil.day};
        }
        const std::string id = BstrUtf8(c.bstrContactID);
        const DetailFamily& addresses = *FindDetailFamily("address");
        for (const auto& a : addresses.list(addresses, contacts.get(), id))
            card.addresses.push_back({PlaceOf(a), a.value("primary", false), "", "", Text(a["street"]), Text(a["city"]),
                                      Text(a["state"]), Text(a["zip_code"]), Text(a["country"])});
        const DetailFamily& phones = *FindDetailFamily("phone");
        for (const auto& p : phones.list(phones, contacts.get(), id))
            card.phones.push_back({PlaceOf(p), PhoneKindOf(p), p.value("primary", false), Text(p["phone_number"])});
        const DetailFamily& emails = *FindDetailFamily("email");
        for (const auto& e : emails.list(emails, contacts.get(), id))
            card.emails.push_back({PlaceOf(e), e.value("primary", false), Text(e["email"])});
        const DetailFamily& urls = *FindDetailFamily("url");
        for (const auto& u : urls.list(urls, contacts.get(), id))
            card.urls.push_back({PlaceOf(u), u.value("primary", false), Text(u["web_url"])});
        const DetailFamily& ims = *FindDetailFamily("im");
        for (const auto& im : ims.list(ims, contacts.get(), id))
            card.ims.push_back({PlaceOf(im), im.value("primary", false), Text(im["protocol"]), Text(im["address"])});
        for (const auto& group : [&] {
                 LONG e = 0, n = 0;
                 OwnedRecordArray<tagContactGroupInfo> groups;
                 Check(contacts->GetContactGroupsByContactID(&e, c.bstrContactID, &n, &groups), e,
                       "cannot read the groups of contact " + id);
                 std::vector<std::string> names;
                 for (const auto& g : groups) names.push_back(BstrUtf8(g.bstrContactGroupName));
                 return names;
             }())
            if (std::find(card.categories.begin(), card.categories.end(), group) == card.categories.end())
                card.categories.push_back(group);
        cards.push_back(std::move(card));
    }
    return cards;
}

}  // namespace calyra::cli
