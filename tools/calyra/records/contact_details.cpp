#include "records/contact_details.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <stdexcept>

#include "idl/owned_record.h"
#include "platform/bstr.h"
#include "records/record_fields.h"
#include "records/record_rows.h"
#include "records/text_limits.h"
#include "session/client_error.h"
#include "session/text_matching.h"
#include "tables/contact_detail_family.h"

namespace calyra::cli {
namespace {

// ---- Reading option texts ---------------------------------------------------

std::string_view Trim(std::string_view text) {
    auto space = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (!text.empty() && space(text.front())) text.remove_prefix(1);
    while (!text.empty() && space(text.back())) text.remove_suffix(1);
    return text;
}

bool IsAsciiWord(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return std::isalpha(static_cast<unsigned char>(c)); });
}

// A protocol or URL scheme: a letter, then letters, digits, '+', '-', '.'.
bool IsSchemeWord(std::string_view text) {
    if (text.empty() || !std::isalpha(static_cast<unsigned char>(text[0]))) return false;
    return std::all_of(text.begin(), text.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
    });
}

// The word before the first ':' of `text` when it is an ASCII word and
// something follows the colon, else empty.
std::string_view LeadingWord(std::string_view text) {
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon + 1 == text.size()) return {};
    const std::string_view word = text.substr(0, colon);
    return IsAsciiWord(word) ? word : std::string_view{};
}

const std::string& EnumOf(const DetailFamily& family, std::string_view key) {
    return RequireField(*family.record, key).enumName;
}

std::string EnumNames(const std::string& enumName, const char* separator) {
    std::string out;
    for (const auto& [name, value] : EnumValues(enumName)) out += (out.empty() ? "" : separator) + name;
    return out;
}

// Takes "NAME:" off the front of *text when NAME (any case) is one of the
// enumeration's value names; returns the name.
std::optional<std::string> TakeEnumPrefix(std::string_view* text, const std::string& enumName) {
    const size_t colon = text->find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    const std::string word = AsciiLower(text->substr(0, colon));
    for (const auto& [name, value] : EnumValues(enumName))
        if (name == word) {
            text->remove_prefix(colon + 1);
            return name;
        }
    return std::nullopt;
}

[[noreturn]] void Bad(const DetailFamily& family, std::string_view text, const std::string& reason) {
    throw ClientError(
        family.option() + ": \"" + std::string(text) + "\": " + reason + "; expected " + std::string(family.syntax), 2);
}

std::string UnknownLocation(const DetailFamily& family, std::string_view word) {
    return "unknown location \"" + std::string(word) +
           "\" (locations: " + EnumNames(EnumOf(family, "location_type"), ", ") + ")";
}

// For values that may themselves start with "word:": a location written
// first makes the rest read as the value.
std::string UnknownLocationOrValue(const DetailFamily& family, std::string_view word) {
    return UnknownLocation(family, word) + "; if \"" + std::string(word) + ":\" belongs to the " +
           std::string(family.what) + ", put a location first";
}

// The optional LOCATION: in front of every family's text.
std::string_view TakeLocation(const DetailFamily& family, std::string_view text, DetailFields* fields) {
    if (auto location = TakeEnumPrefix(&text, EnumOf(family, "location_type")))
        fields->emplace_back("location_type", *location);
    return text;
}

DetailFields ParsePhone(const DetailFamily& family, std::string_view text) {
    DetailFields fields;
    std::string_view rest = TakeLocation(family, text, &fields);
    if (auto type = TakeEnumPrefix(&rest, EnumOf(family, "phone_number_type")))
        fields.emplace_back("phone_number_type", *type);
    rest = Trim(rest);
    // A number never starts with a word and a colon: that is a misspelt prefix.
    if (auto word = LeadingWord(rest); !word.empty())
        Bad(family, text,
            "unknown location or type \"" + std::string(word) +
                "\" (locations: " + EnumNames(EnumOf(family, "location_type"), ", ") +
                "; types: " + EnumNames(EnumOf(family, "phone_number_type"), ", ") + ")");
    if (std::none_of(rest.begin(), rest.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
        Bad(family, text, "no phone number");
    fields.emplace_back("phone_number", std::string(rest));
    return fields;
}

DetailFields ParseEmail(const DetailFamily& family, std::string_view text) {
    DetailFields fields;
    std::string_view rest = Trim(TakeLocation(family, text, &fields));
    if (auto word = LeadingWord(rest); !word.empty()) Bad(family, text, UnknownLocation(family, word));
    const size_t at = rest.rfind('@');
    if (at == std::string_view::npos || at == 0 || at + 1 == rest.size() ||
        std::any_of(rest.begin(), rest.end(), [](char c) { return std::isspace(static_cast<unsigned char>(c)); }))
        Bad(family, text, "no e-mail address (name@domain)");
    fields.emplace_back("email", std::string(rest));
    return fields;
}

DetailFields ParseUrl(const DetailFamily& family, std::string_view text) {
    DetailFields fields;
    std::string_view rest = Trim(TakeLocation(family, text, &fields));
    // "https://..." and "mailto:..." are URLs; a word in front of a whole
    // URL ("wrok:https://...") is a misspelt location.
    if (auto word = LeadingWord(rest); !word.empty() && fields.empty()) {
        std::string_view after = rest.substr(word.size() + 1);
        const size_t colon = after.find(':');
        if (colon != std::string_view::npos && colon + 1 < after.size() && IsSchemeWord(after.substr(0, colon)))
            Bad(family, text, UnknownLocationOrValue(family, word));
    }
    if (rest.empty()) Bad(family, text, "no URL");
    if (std::any_of(rest.begin(), rest.end(), [](char c) { return std::isspace(static_cast<unsigned char>(c)); }))
        Bad(family, text, "a URL has no spaces (write %20)");
    fields.emplace_back("web_url", std::string(rest));
    return fields;
}

DetailFields ParseIm(const DetailFamily& family, std::string_view text) {
    DetailFields fields;
    std::string_view rest = Trim(TakeLocation(family, text, &fields));
    const size_t colon = rest.find(':');
    if (colon != std::string_view::npos && colon + 1 < rest.size() && IsSchemeWord(rest.substr(0, colon))) {
        const std::string_view protocol = rest.substr(0, colon);
        rest = Trim(rest.substr(colon + 1));
        // "hmoe:xmpp:ada@..." reads as protocol "hmoe" and an address that
        // starts with another protocol: the first word was a location.
        const size_t next = rest.find(':');
        if (fields.empty() && next != std::string_view::npos && next + 1 < rest.size() &&
            IsSchemeWord(rest.substr(0, next)))
            Bad(family, text, UnknownLocationOrValue(family, protocol));
        fields.emplace_back("protocol", std::string(protocol));
    }
    if (rest.empty()) Bad(family, text, "no address");
    fields.emplace_back("address", std::string(rest));
    return fields;
}

DetailFields ParseAddress(const DetailFamily& family, std::string_view text) {
    DetailFields fields;
    std::string_view rest = TakeLocation(family, text, &fields);
    // Without a location, "hoem:Main St 1;..." is a misspelt one; a street
    // that really starts with "Word:" is written after a location.
    if (fields.empty())
        if (auto word = LeadingWord(Trim(rest)); !word.empty()) Bad(family, text, UnknownLocationOrValue(family, word));
    std::vector<std::string> parts(1);
    for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '\\' && i + 1 < rest.size() && (rest[i + 1] == ';' || rest[i + 1] == '\\'))
            parts.back() += rest[++i];
        else if (rest[i] == ';')
            parts.emplace_back();
        else
            parts.back() += rest[i];
    }
    static constexpr const char* kKeys[] = {"street", "city", "state", "zip_code", "country"};
    if (parts.size() > std::size(kKeys)) Bad(family, text, "more than five parts (write \\; for a ';' in a part)");
    bool any = false;
    for (size_t i = 0; i < parts.size(); ++i) {
        const std::string_view part = Trim(parts[i]);
        if (part.empty()) continue;
        fields.emplace_back(kKeys[i], std::string(part));
        any = true;
    }
    if (!any) Bad(family, text, "no address");
    return fields;
}

// ---- The component's operations, once per record type ------------------------

using ListOp = HRESULT (STDMETHODCALLTYPE IContactAccess::*)(LONG*, BSTR, LONG*, SAFEARRAY**);
template <class R>
using AddOp = HRESULT (STDMETHODCALLTYPE IContactAccess::*)(LONG*, BSTR, R*, BSTR*);
using ClearOp = HRESULT (STDMETHODCALLTYPE IContactAccess::*)(LONG*, BSTR);
using RemoveOp = ClearOp;

template <class R, ListOp List>
Json ListItems(const DetailFamily& family, IContactAccess* contacts, const std::string& contactId) {
    LONG err = 0, count = 0;
    OwnedRecordArray<R> items;
    Check((contacts->*List)(&err, Bstr::FromUtf8(contactId), &count, &items), err,
          "cannot read the " + std::string(family.plural) + " of contact " + contactId);
    return ToJsonArray(items);
}

// The record `add` stores for the option's fields.
template <class R>
void FillItem(const DetailFields& fields, bool primary, OwnedRecord<R>* item) {
    const RecordDesc& desc = RecordDescriptionOf<R>();
    for (const auto& [key, text] : fields) SetField(RequireField(desc, key), item, text);
    if (primary) SetField(RequireField(desc, "primary"), item, "yes");
}

template <class R, AddOp<R> Add>
std::string AddItem(const DetailFamily& family, IContactAccess* contacts, const std::string& contactId,
                    const DetailFields& fields, bool primary) {
    OwnedRecord<R> item;
    FillItem(fields, primary, &item);
    LONG err = 0;
    Bstr id;
    Check((contacts->*Add)(&err, Bstr::FromUtf8(contactId), &item, &id), err,
          [&] { return "cannot add the " + std::string(family.what) + " to contact " + contactId; });
    return id.utf8();
}

template <class R, AddOp<R> Add>
class PreparedItem final : public PreparedDetail {
public:
    PreparedItem(const DetailFamily& family, const DetailFields& fields) : m_family(family) {
        FillItem(fields, false, &m_item);
    }
    void addTo(IContactAccess* contacts, BSTR contactId, bool primary) override {
        mark(primary);
        LONG err = 0;
        Bstr id;
        // Named by what it is, not by the contact's ID: an import reports
        // the card's line, and a card's new contact is undone with it.
        Check((contacts->*Add)(&err, contactId, &m_item, &id), err,
              [&] { return "cannot add the " + std::string(m_family.what); });
    }

    const void* image(bool primary) override {
        mark(primary);
        return static_cast<const R*>(&m_item);
    }

private:
    void mark(bool primary) {
        static const FieldInfo& flag = RequireField(RecordDescriptionOf<R>(), "primary");
        SetField(flag, &m_item, primary ? "yes" : "no");
    }

    const DetailFamily& m_family;
    OwnedRecord<R> m_item;
};

template <class R, AddOp<R> Add>
std::unique_ptr<PreparedDetail> PrepareItem(const DetailFamily& family, const DetailFields& fields) {
    return std::make_unique<PreparedItem<R, Add>>(family, fields);
}

template <class R>
Json PreviewItem(const DetailFamily&, const DetailFields& fields, bool primary) {
    OwnedRecord<R> item;
    FillItem(fields, primary, &item);
    return ToJson(static_cast<const R&>(item));
}

template <class R>
void ListItemsWhere(const DetailFamily&, IPimDbAccess* db, const SqlText& condition,
                    const std::function<void(const std::string& contactId, Json item)>& sink) {
    const calyra::DetailFamily& stored = calyra::DetailFamilyOf<R>::value;
    // In the order of the item's key (field 0): the order a scan for one
    // contact gives.
    SqlText sql(u"SELECT ");
    sql.Append(RowColumns(stored.fields))
        .Append(u", [ContactID] FROM ")
        .Append(stored.table)
        .Append(u" WHERE [ContactID]")
        .Append(condition)
        .Append(u" ORDER BY ")
        .Append(stored.fields[0].column)
        .Append(u";");
    const auto rows = RecordRows<R>::Query(db, sql, stored.fields, 1);
    for (size_t i = 0; i < rows.size(); ++i) sink(rows.extra(i, 0), ToJson(rows[i]));
}

template <RemoveOp Remove>
void RemoveItem(const DetailFamily& family, IContactAccess* contacts, const std::string& itemId) {
    LONG err = 0;
    Check((contacts->*Remove)(&err, Bstr::FromUtf8(itemId)), err,
          "cannot remove " + std::string(family.what) + " " + itemId);
}

template <ClearOp Clear>
void ClearItems(const DetailFamily& family, IContactAccess* contacts, const std::string& contactId) {
    LONG err = 0;
    Check((contacts->*Clear)(&err, Bstr::FromUtf8(contactId)), err,
          "cannot remove the " + std::string(family.plural) + " of contact " + contactId);
}

#define CALYRA_DETAIL_OPS(Record, Plural, Singular)                                                                    \
    &RecordDescriptionOf<Record>(), ListItems<Record, &IContactAccess::Get##Plural##ByContactID>,                      \
        AddItem<Record, &IContactAccess::Add##Singular##ToContact>,                                                    \
        ClearItems<&IContactAccess::Delete##Plural##ByContactID>, RemoveItem<&IContactAccess::Delete##Singular##ByID>, \
        PrepareItem<Record, &IContactAccess::Add##Singular##ToContact>, PreviewItem<Record>, ListItemsWhere<Record>

const DetailFamily kFamilies[] = {
    {"address", "addresses", "postal address", "[LOCATION:]STREET;CITY;STATE;ZIP;COUNTRY",
     "work:Unter den Linden 1;Berlin;;10117;Germany",
     "parts may be empty or left out at the end; write \\; for a ';' inside a part", ParseAddress,
     CALYRA_DETAIL_OPS(tagAddress, Addresses, Address)},
    {"phone", "phones", "phone number", "[LOCATION:][TYPE:]NUMBER", "work:mobile:+49301234", "", ParsePhone,
     CALYRA_DETAIL_OPS(tagPhoneNumber, PhoneNumbers, PhoneNumber)},
    {"email", "emails", "e-mail address", "[LOCATION:]ADDRESS", "home:ada@example.org", "", ParseEmail,
     CALYRA_DETAIL_OPS(tagEmail, Emails, Email)},
    {"url", "urls", "web address", "[LOCATION:]URL", "work:https://example.org:8080/ada", "", ParseUrl,
     CALYRA_DETAIL_OPS(tagWebUrl, WebUrls, WebUrl)},
    {"im", "ims", "instant-messaging address", "[LOCATION:][PROTOCOL:]ADDRESS", "home:xmpp:ada@example.org",
     "PROTOCOL is a word such as xmpp, skype or icq, or left out", ParseIm, CALYRA_DETAIL_OPS(tagIM, IMs, IM)},
};
#undef CALYRA_DETAIL_OPS
static_assert(std::size(kFamilies) == kDetailFamilyCount);
constexpr Sql kTables[] = {
    calyra::DetailFamilyOf<tagAddress>::value.table, calyra::DetailFamilyOf<tagPhoneNumber>::value.table,
    calyra::DetailFamilyOf<tagEmail>::value.table,   calyra::DetailFamilyOf<tagWebUrl>::value.table,
    calyra::DetailFamilyOf<tagIM>::value.table,
};
static_assert(std::size(kTables) == kDetailFamilyCount);

}  // namespace

std::span<const DetailFamily> DetailFamilies() { return kFamilies; }

const DetailFamily* FindDetailFamily(std::string_view name) {
    for (const auto& family : kFamilies)
        if (family.name == name) return &family;
    return nullptr;
}

Sql DetailTable(const DetailFamily& family) { return kTables[DetailFamilyIndex(family)]; }

DetailFields ParseDetail(const DetailFamily& family, std::string_view text) {
    DetailFields fields = family.parse(family, text);
    for (const auto& [key, value] : fields) CheckTextFits(value, family.option());
    return fields;
}

std::string DetailHelp(const DetailFamily& family) {
    std::string help = std::string(family.what) + " to add, repeatable: " + std::string(family.syntax);
    help[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(help[0])));
    // Each enumeration field is a prefix: its names and the default.
    for (const auto& f : FieldsOf(*family.record)) {
        if (f.kind != FieldKind::Enum) continue;
        const std::string label = f.key == "location_type" ? "LOCATION" : "TYPE";
        std::string fallback;
        for (const auto& [name, value] : EnumValues(f.enumName))
            if (value == 0) fallback = name;
        help += "; " + label + " " + EnumNames(f.enumName, "|") + " (default " + fallback + ")";
    }
    if (!family.note.empty()) help += "; " + std::string(family.note);
    help += "; e.g. " + std::string(family.example);
    if (FindField(*family.record, "primary")) help += ". The first one of a contact is marked primary";
    return help;
}

}  // namespace calyra::cli
