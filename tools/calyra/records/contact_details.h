// A contact's five detail families (postal addresses, phone numbers, e-mail,
// web and instant-messaging addresses) as one table: how each is written on
// the command line ("--phone work:fax:+49301234"), its name in JSON, and the
// operations of IContactAccess that list, add and remove its items. Commands
// walk the table instead of repeating the pattern five times.
//
// Option texts read as [LOCATION:][...]VALUE where only the enumeration names
// of the record (home, work, other; mobile, fax, pager, other) count as
// prefixes, so a URL or number that contains ':' stays whole.
//
// Each family also reads the items of many contacts in one query, with the
// component's own column map of its record (records/record_rows.h), into
// the same JSON the per-contact operations give (records/profile_contacts.h).
//
// Ownership: the table is static constant data. Records filled for the
// component are owned by the function that fills them or by the
// PreparedDetail handed out; lists come back as JSON values.
// Thread-safety: the table is constant; parsing and preparing are pure and
// may run on any thread; the operations use the access object they are
// given from one thread.
#pragma once

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "idl/calyra_idl.h"
#include "output/output.h"
#include "platform/type_description.h"
#include "tables/sql_text.h"

namespace calyra::cli {

// Field key -> text, in the order the option text gave them, ready for
// SetField on the family's record.
using DetailFields = std::vector<std::pair<std::string, std::string>>;

// An item's record made ahead of storing it (an import makes them on its
// planning thread); it owns its texts.
class PreparedDetail {
public:
    virtual ~PreparedDetail() = default;
    // Adds the record to the contact, primary or not; throws ClientError
    // when the component refuses it.
    virtual void addTo(IContactAccess* contacts, BSTR contactId, bool primary) = 0;
    // The record as addTo would store it with that primary mark (its ID
    // empty), owned by this object: what `preview` gives, without making
    // the JSON.
    virtual const void* image(bool primary) = 0;
};

struct DetailFamily {
    std::string_view name;     // "phone": the option --phone
    std::string_view plural;   // "phones": --clear-phones and the JSON key in `contacts show`
    std::string_view what;     // "phone number", for help and messages
    std::string_view syntax;   // "[LOCATION:][TYPE:]NUMBER"
    std::string_view example;  // "work:mobile:+49301234"
    std::string_view note;     // more help, or empty
    // Reads an option text into fields; throws ClientError (status 2)
    // naming the option when the text cannot be read.
    DetailFields (*parse)(const DetailFamily& family, std::string_view text);
    const RecordDesc* record;
    // All items of a contact, as ToJson gives them.
    Json (*list)(const DetailFamily& family, IContactAccess* contacts, const std::string& contactId);
    // Adds one item; returns its ID.
    std::string (*add)(const DetailFamily& family, IContactAccess* contacts, const std::string& contactId,
                       const DetailFields& fields, bool primary);
    // Removes every item of the contact.
    void (*clear)(const DetailFamily& family, IContactAccess* contacts, const std::string& contactId);
    // Removes one item by its ID.
    void (*remove)(const DetailFamily& family, IContactAccess* contacts, const std::string& itemId);
    // The record `add` would store, to be added later; may be called on any thread.
    std::unique_ptr<PreparedDetail> (*prepare)(const DetailFamily& family, const DetailFields& fields);
    // The item `add` would store, as ToJson gives it back (its ID empty).
    Json (*preview)(const DetailFamily& family, const DetailFields& fields, bool primary);
    // Hands `sink` every item (as `list` gives it) of the contacts whose
    // [ContactID] meets `condition` (" IN (SELECT ...)"), with the contact's
    // ID, in the order of the items' keys. Throws ClientError when the query
    // fails.
    void (*listWhere)(const DetailFamily& family, IPimDbAccess* db, const SqlText& condition,
                      const std::function<void(const std::string& contactId, Json item)>& sink);

    std::string option() const { return "--" + std::string(name); }
};

inline constexpr size_t kDetailFamilyCount = 5;
// Addresses, phones, emails, urls, ims: in this order.
std::span<const DetailFamily> DetailFamilies();
// A family by name ("phone"); nullptr when there is none.
const DetailFamily* FindDetailFamily(std::string_view name);
// The family's place in DetailFamilies().
inline size_t DetailFamilyIndex(const DetailFamily& family) {
    return static_cast<size_t>(&family - DetailFamilies().data());
}

// The family's table ("[tPhoneNumber]"), whose rowid is the item's key.
Sql DetailTable(const DetailFamily& family);

// The option text of one item read by its family, every text checked to
// come back whole. Throws ClientError (status 2) naming the option.
DetailFields ParseDetail(const DetailFamily& family, std::string_view text);

// The option's help: syntax, the names each prefix takes and their
// defaults, an example.
std::string DetailHelp(const DetailFamily& family);

}  // namespace calyra::cli
