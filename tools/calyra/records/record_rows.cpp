#include "records/record_rows.h"

#include <cstring>
#include <limits>

#include "calendar/days.h"
#include "platform/bstr.h"
#include "shell/client_error.h"
#include "shell/query_rows.h"

namespace calyra::cli {
namespace {

bool IsSpace(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// One decimal number like the scanner's %d (white space, sign, digits),
// saturated to the LONG range; advances `p` past it.
bool ReadNumber(const char16_t*& p, LONG* value) {
    const char16_t* q = p;
    while (IsSpace(*q)) ++q;
    bool negative = false;
    if (*q == u'+' || *q == u'-') negative = *q++ == u'-';
    if (!IsDigit(*q)) return false;
    constexpr long long kBeyond = static_cast<long long>(std::numeric_limits<LONG>::max()) + 2;
    long long magnitude = 0;
    for (; IsDigit(*q); ++q)
        if (magnitude < kBeyond) magnitude = magnitude * 10 + (*q - u'0');
    const long long v = negative ? -magnitude : magnitude;
    *value = static_cast<LONG>(v < std::numeric_limits<LONG>::min()   ? std::numeric_limits<LONG>::min()
                               : v > std::numeric_limits<LONG>::max() ? std::numeric_limits<LONG>::max()
                                                                      : v);
    p = q;
    return true;
}

LONG TextLong(const char16_t* text) {
    LONG v = 0;
    return ReadNumber(text, &v) ? v : 0;
}

// "YYYY-MM-DD hh:mm:ss" as the component reads it: as many parts as parse,
// the rest 0, months beyond 12 running into the next years.
DATE TextDate(const char16_t* text) {
    LONG f[6] = {};
    constexpr char16_t kSeparators[6] = {u'\0', u'-', u'-', u' ', u':', u':'};
    const char16_t* p = text;
    for (int i = 0; i < 6; ++i) {
        if (kSeparators[i] == u' ') {
            while (IsSpace(*p)) ++p;
        } else if (kSeparators[i] != u'\0') {
            if (*p != kSeparators[i]) break;
            ++p;
        }
        if (!ReadNumber(p, &f[i])) break;
    }
    const long long monthIndex = static_cast<long long>(f[1]) - 1;
    const long long yearShift = monthIndex >= 0 ? monthIndex / 12 : -((11 - monthIndex) / 12);
    const int year = static_cast<int>(f[0] + yearShift), month = static_cast<int>(monthIndex - yearShift * 12 + 1);
    const long long serial = calendar::DayFromCivil(year, month, 1) + f[2] - 1;
    const double fraction = static_cast<double>(static_cast<long long>(f[3]) * 3600 + f[4] * 60LL + f[5]) / 86400.0;
    return serial >= 0 ? static_cast<double>(serial) + fraction : static_cast<double>(serial) - fraction;
}

template <class Value>
void Put(void* record, size_t offset, Value value) {
    std::memcpy(static_cast<char*>(record) + offset, &value, sizeof value);
}

void Store(void* record, const calyra::FieldMap& field, const char16_t* text) {
    switch (field.kind) {
        case calyra::FieldKind::Text:
            Put(record, field.offset, SysAllocString(text));
            break;
        case calyra::FieldKind::Long:
            Put(record, field.offset, TextLong(text));
            break;
        case calyra::FieldKind::Date:
            Put(record, field.offset, TextDate(text));
            break;
        case calyra::FieldKind::Flag:
            Put(record, field.offset, static_cast<LONG>(TextLong(text) == 1 ? 1 : 0));
            break;
    }
}

}  // namespace

std::u16string SqlQuoted(std::u16string_view text) {
    std::u16string out = u"'";
    for (char16_t c : text) {
        out += c;
        if (c == u'\'') out += u'\'';
    }
    return out + u"'";
}

std::u16string SelectList(std::span<const calyra::FieldMap> fields) {
    std::u16string out;
    for (const auto& f : fields) {
        if (!out.empty()) out += u", ";
        out += f.column.view();
    }
    return out;
}

namespace record_rows_detail {

void Read(IPimDbAccess* db, const std::u16string& sql, std::span<const calyra::FieldMap> fields, size_t stride,
          size_t extraColumns, void* (*reserve)(void* owner, size_t rows), void* owner,
          std::vector<std::string>* extras) {
    ResultWalk walk(db, sql);
    const size_t columns = static_cast<size_t>(walk.columns()), rows = static_cast<size_t>(walk.rows());
    if (columns != fields.size() + extraColumns)
        throw ClientError("query returned " + std::to_string(columns) + " columns where " +
                          std::to_string(fields.size() + extraColumns) + " were expected");
    char* record = static_cast<char*>(reserve(owner, rows));
    extras->reserve(rows * extraColumns);
    for (size_t r = 0; r < rows; ++r, record += stride, walk.next()) {
        for (size_t c = 0; c < fields.size(); ++c)
            Store(record, fields[c], walk.field(static_cast<LONG>(c), fields[c].kind != calyra::FieldKind::Text));
        for (size_t k = 0; k < extraColumns; ++k)
            extras->push_back(Utf16ToUtf8(walk.field(static_cast<LONG>(fields.size() + k))));
    }
}

}  // namespace record_rows_detail
}  // namespace calyra::cli
