// The component's records seen field by field, driven by the type
// library's descriptions: every record family shows, reads and edits its
// fields through this one table instead of a hand-written copy per record.
//
// A field's key is its name without the type prefix, in snake case
// (bstrFirstName -> "first_name", dtBirthday -> "birthday", bPrimary ->
// "primary"); its command-line option is the key in kebab case
// ("--first-name"). Keys are the stable JSON field names.
//
// Values: texts as UTF-8; dates as ISO 8601 UTC (a zero date is null);
// flags (b...) as booleans; enumerations by their lower-case names
// ("mobile", "work") with unknown numbers passed through as numbers;
// nested records as objects.
//
// Ownership: SetField allocates the BSTR it stores and frees the one it
// replaces; the record's owner (OwnedRecord) frees the rest.
// Thread-safety: the tables are constant; functions are pure.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "idl/typelib_description.h"
#include "output/output.h"

namespace calyra::cli {

enum class FieldKind { Text, Number, Date, Flag, Enum, Record };

struct FieldInfo {
    const FieldDesc* desc;
    std::string key;     // "first_name"
    std::string option;  // "--first-name"
    FieldKind kind;
    std::string enumName;  // "enumPhoneNumberType" for Enum fields
};

// A contact's title and suffix: a record nobody gave one reads back as 0,
// which is also the first value (Mrs, Sr). The client keeps 0 for "none"
// and stores a chosen first value as this number instead (the component
// stores any number unchanged), so lists and exports show a title or suffix
// only when one was set through calyra.
constexpr LONG kChosenFirstHonorific = 0x100;

// Title and suffix, whose 0 means none (kChosenFirstHonorific).
bool IsHonorific(std::string_view enumName);

// The fields of a record in declaration order.
const std::vector<FieldInfo>& FieldsOf(const RecordDesc& record);
// One field by key; nullptr when the record has none.
const FieldInfo* FindField(const RecordDesc& record, std::string_view key);
// One field the program knows the record has; throws std::logic_error when
// it has not (a mistake of this program, not of its input).
const FieldInfo& RequireField(const RecordDesc& record, std::string_view key);

// The names of an enumeration's values ("mobile", "fax", ...), in order;
// for a title or suffix the first value is kChosenFirstHonorific. Worked out
// once and kept for the life of the program.
const std::vector<std::pair<std::string, LONG>>& EnumValues(const std::string& enumName);

// A JSON text as it is, anything else (null, a number) as "".
std::string JsonText(const Json& value);

// A flag field's value, whether the record holds it as VARIANT_BOOL or LONG.
bool FieldFlag(const FieldInfo& field, const void* record);
Json FieldToJson(const FieldInfo& field, const void* record);
// Appends a field to a hash text as the record holds it, then a unit
// separator: a text as its UTF-16 units, a date as its calendar fields to
// the second (what the database keeps, however the number was reached), a
// flag as 1 or 0, any other value as its number's bytes, a nested record
// field by field. A record stored and the same record read back append the
// same bytes; the side store hashes these texts.
void AppendFieldHashText(std::string& text, const FieldInfo& field, const void* record);
Json RecordToJson(const RecordDesc& desc, const void* record);
template <class R>
Json ToJson(const R& record) {
    return RecordToJson(RecordDescriptionOf<R>(), &record);
}
// Every record of a list (an OwnedRecordArray), in order.
template <class Records>
Json ToJsonArray(const Records& records) {
    Json out = Json::array();
    for (const auto& record : records) out.push_back(ToJson(record));
    return out;
}

// Parses `text` the way the field's kind reads (dates ISO 8601, flags
// yes/no/true/false/1/0, enumerations by name or number) and stores it.
// Throws ClientError (status 2) naming the option for text it cannot read
// and for a text longer than a field gives back whole (text_limits.h).
void SetField(const FieldInfo& field, void* record, std::string_view text);
// Stores a JSON value (as RecordToJson writes it); texts are stored as
// they are, also one that came back cut.
void SetFieldFromJson(const FieldInfo& field, void* record, const Json& value);

}  // namespace calyra::cli
