#include "records/record_fields.h"

#include <cctype>
#include <cmath>
#include <mutex>
#include <stdexcept>
#include <unordered_map>

#include "platform/bstr.h"
#include "records/text_limits.h"
#include "session/client_error.h"
#include "session/text_matching.h"
#include "session/user_time.h"

namespace calyra::cli {
namespace {

std::string SnakeCase(std::string_view name) {
    std::string out;
    for (size_t i = 0; i < name.size(); ++i) {
        char c = name[i];
        bool upper = std::isupper(static_cast<unsigned char>(c));
        if (upper && i > 0) {
            bool prevLower = std::islower(static_cast<unsigned char>(name[i - 1])) ||
                             std::isdigit(static_cast<unsigned char>(name[i - 1]));
            bool nextLower = i + 1 < name.size() && std::islower(static_cast<unsigned char>(name[i + 1]));
            if (prevLower || (nextLower && std::isupper(static_cast<unsigned char>(name[i - 1])))) out += '_';
        }
        out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

// "bstrFirstName" -> "FirstName"; names without a prefix stay.
std::string_view WithoutPrefix(std::string_view name) {
    size_t i = 0;
    while (i < name.size() && std::islower(static_cast<unsigned char>(name[i]))) ++i;
    return i == name.size() ? name : name.substr(i);
}

std::vector<FieldInfo> Describe(const RecordDesc& record) {
    std::vector<FieldInfo> out;
    for (size_t i = 0; i < record.fieldCount; ++i) {
        const FieldDesc& f = record.fields[i];
        FieldInfo info{&f, SnakeCase(WithoutPrefix(f.name)), "", FieldKind::Number, ""};
        info.option = "--" + info.key;
        for (char& c : info.option)
            if (c == '_') c = '-';
        if (f.vt == VT_BSTR)
            info.kind = FieldKind::Text;
        else if (f.vt == VT_DATE)
            info.kind = FieldKind::Date;
        else if (f.vt == VT_RECORD)
            info.kind = FieldKind::Record;
        else if (f.vt == VT_BOOL || (f.name[0] == 'b' && std::isupper(static_cast<unsigned char>(f.name[1]))))
            info.kind = FieldKind::Flag;
        else if (f.enumeration)
            info.kind = FieldKind::Enum, info.enumName = f.enumeration->name;
        out.push_back(std::move(info));
    }
    return out;
}

template <class T>
T& At(void* record, const FieldInfo& f) {
    return *reinterpret_cast<T*>(static_cast<char*>(record) + f.desc->offset);
}
template <class T>
const T& At(const void* record, const FieldInfo& f) {
    return *reinterpret_cast<const T*>(static_cast<const char*>(record) + f.desc->offset);
}

void StoreLong(const FieldInfo& f, void* record, long long value) {
    if (f.desc->vt == VT_UI4) {
        if (value < 0 || value > 0xFFFFFFFFll) throw ClientError(f.option + ": out of range", 2);
        At<ULONG>(record, f) = static_cast<ULONG>(value);
    } else if (f.desc->vt == VT_BOOL) {
        At<VARIANT_BOOL>(record, f) = value ? VARIANT_TRUE : VARIANT_FALSE;
    } else {
        if (value < INT32_MIN || value > INT32_MAX) throw ClientError(f.option + ": out of range", 2);
        At<LONG>(record, f) = static_cast<LONG>(value);
    }
}

std::optional<long long> ParseInteger(std::string_view text) {
    if (text.empty()) return std::nullopt;
    size_t i = text[0] == '-' || text[0] == '+' ? 1 : 0;
    if (i == text.size()) return std::nullopt;
    long long v = 0;
    for (; i < text.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i])) || v > 1'000'000'000'000ll) return std::nullopt;
        v = v * 10 + (text[i] - '0');
    }
    return text[0] == '-' ? -v : v;
}

void StoreText(const FieldInfo& f, void* record, std::string_view text) {
    BSTR copy = Bstr::FromUtf8(text).Detach();
    SysFreeString(At<BSTR>(record, f));
    At<BSTR>(record, f) = copy;
}

}  // namespace

bool IsHonorific(std::string_view enumName) { return enumName == "enumTitle" || enumName == "enumSuffix"; }

const std::vector<FieldInfo>& FieldsOf(const RecordDesc& record) {
    // The library's records are described once, at first use, and read
    // without a lock after that: an import asks for them several times per
    // card. A record from elsewhere is described on demand.
    using Described = std::map<const RecordDesc*, std::vector<FieldInfo>>;
    static const Described library = [] {
        Described out;
        const TypeLibDesc& lib = CalyraTypeLibDescription();
        for (size_t i = 0; i < lib.recordCount; ++i) out.emplace(lib.records[i], Describe(*lib.records[i]));
        return out;
    }();
    if (auto it = library.find(&record); it != library.end()) return it->second;
    static std::mutex lock;
    static Described others;
    std::lock_guard guard(lock);
    auto it = others.find(&record);
    if (it == others.end()) it = others.emplace(&record, Describe(record)).first;
    return it->second;
}

const FieldInfo* FindField(const RecordDesc& record, std::string_view key) {
    for (const auto& f : FieldsOf(record))
        if (f.key == key) return &f;
    return nullptr;
}

const FieldInfo& RequireField(const RecordDesc& record, std::string_view key) {
    const FieldInfo* f = FindField(record, key);
    if (!f) throw std::logic_error(std::string(record.name) + " has no field " + std::string(key));
    return *f;
}

const std::vector<std::pair<std::string, LONG>>& EnumValues(const std::string& enumName) {
    // Worked out once for every enumeration, at first use, and read without
    // a lock: an import sets a few enumerated fields per record, and
    // building the names each time showed in its profile.
    // Hashed: a tree of two dozen names cost a few hundred instructions a
    // look-up, and an import's hash text looks up every enumerated field.
    using Names = std::unordered_map<std::string, std::vector<std::pair<std::string, LONG>>>;
    static const Names library = [] {
        Names out;
        const TypeLibDesc& lib = CalyraTypeLibDescription();
        for (size_t e = 0; e < lib.enumCount; ++e) {
            const EnumDesc& desc = *lib.enums[e];
            const std::string enumName = desc.name;
            auto& names = out[enumName];
            for (size_t i = 0; i < desc.valueCount; ++i) {
                std::string_view name = desc.values[i].name;
                name.remove_prefix(std::min(name.size(), enumName.size() + 1));  // "enumTitle_"
                const LONG value = desc.values[i].value;
                names.emplace_back(SnakeCase(name),
                                   IsHonorific(enumName) && value == 0 ? kChosenFirstHonorific : value);
            }
        }
        return out;
    }();
    static const std::vector<std::pair<std::string, LONG>> kNone;
    auto it = library.find(enumName);
    return it == library.end() ? kNone : it->second;
}

std::string JsonText(const Json& value) { return value.is_string() ? value.get<std::string>() : ""; }

bool FieldFlag(const FieldInfo& f, const void* record) {
    return f.desc->vt == VT_BOOL ? At<VARIANT_BOOL>(record, f) != VARIANT_FALSE : At<LONG>(record, f) != 0;
}

Json FieldToJson(const FieldInfo& f, const void* record) {
    switch (f.kind) {
        case FieldKind::Text:
            return BstrUtf8(At<BSTR>(record, f));
        case FieldKind::Date: {
            DATE d = At<DATE>(record, f);
            return d == 0 ? Json() : Json(FormatIsoDate(d));
        }
        case FieldKind::Flag:
            return FieldFlag(f, record);
        case FieldKind::Enum: {
            LONG v = At<LONG>(record, f);
            if (v == 0 && IsHonorific(f.enumName)) return nullptr;  // never chosen
            for (const auto& [name, value] : EnumValues(f.enumName))
                if (value == v) return name;
            return v;
        }
        case FieldKind::Record:
            return RecordToJson(*f.desc->record, static_cast<const char*>(record) + f.desc->offset);
        case FieldKind::Number:
            break;
    }
    if (f.desc->vt == VT_UI4) return At<ULONG>(record, f);
    return At<LONG>(record, f);
}

void AppendFieldHashText(std::string& text, const FieldInfo& f, const void* record) {
    const auto bytes = [&text](const auto& value) { text.append(reinterpret_cast<const char*>(&value), sizeof value); };
    switch (f.kind) {
        case FieldKind::Text: {
            const BSTR b = At<BSTR>(record, f);
            text.append(reinterpret_cast<const char*>(b), b ? SysStringByteLen(b) : 0);
            break;
        }
        case FieldKind::Date: {
            const DATE d = At<DATE>(record, f);
            const CivilDate c = d == 0 ? CivilDate{} : calendar::ToCivil(d);
            for (int part : {c.year, c.month, c.day, c.hour, c.minute, c.second}) bytes(part);
            break;
        }
        case FieldKind::Flag:
            text.push_back(FieldFlag(f, record) ? '1' : '0');
            break;
        case FieldKind::Record:
            for (const auto& inner : FieldsOf(*f.desc->record))
                AppendFieldHashText(text, inner, static_cast<const char*>(record) + f.desc->offset);
            break;
        case FieldKind::Enum:
        case FieldKind::Number:
            bytes(At<LONG>(record, f));
            break;
    }
    text.push_back('\x1f');
}

Json RecordToJson(const RecordDesc& desc, const void* record) {
    Json out = Json::object();
    for (const auto& f : FieldsOf(desc)) out[f.key] = FieldToJson(f, record);
    return out;
}

void SetField(const FieldInfo& f, void* record, std::string_view text) {
    switch (f.kind) {
        case FieldKind::Text:
            // Every text a command writes passes here: one that would come
            // back cut is refused, naming its option.
            CheckTextFits(text, f.option);
            return StoreText(f, record, text);
        case FieldKind::Date:
            if (text.empty() || text == "none") {
                At<DATE>(record, f) = 0.0;
            } else if (auto d = TryParseIsoDate(text)) {
                At<DATE>(record, f) = *d;
            } else {
                throw ClientError(f.option + ": not a date: \"" + std::string(text) +
                                      "\" (use YYYY-MM-DD or YYYY-MM-DDTHH:MM[:SS], UTC)",
                                  2);
            }
            return;
        case FieldKind::Flag: {
            std::string t = AsciiLower(text);
            if (t == "yes" || t == "true" || t == "1" || t == "on")
                StoreLong(f, record, 1);
            else if (t == "no" || t == "false" || t == "0" || t == "off")
                StoreLong(f, record, 0);
            else
                throw ClientError(f.option + ": expected yes or no, got \"" + std::string(text) + "\"", 2);
            return;
        }
        case FieldKind::Enum: {
            std::string t = AsciiLower(text);
            if (IsHonorific(f.enumName) && (t.empty() || t == "none")) return StoreLong(f, record, 0);
            for (const auto& [name, value] : EnumValues(f.enumName))
                if (name == t) return StoreLong(f, record, value);
            if (auto n = ParseInteger(text)) return StoreLong(f, record, *n);
            std::string names;
            for (const auto& [name, value] : EnumValues(f.enumName)) names += (names.empty() ? "" : ", ") + name;
            throw ClientError(f.option + ": expected one of " + names + ", got \"" + std::string(text) + "\"", 2);
        }
        case FieldKind::Record:
            throw ClientError(f.option + ": cannot be given as text", 2);
        case FieldKind::Number:
            if (auto n = ParseInteger(text)) return StoreLong(f, record, *n);
            throw ClientError(f.option + ": expected a whole number, got \"" + std::string(text) + "\"", 2);
    }
}

void SetFieldFromJson(const FieldInfo& f, void* record, const Json& value) {
    if (f.kind == FieldKind::Record) {
        if (!value.is_object()) return;
        void* nested = static_cast<char*>(record) + f.desc->offset;
        for (const auto& nf : FieldsOf(*f.desc->record))
            if (value.contains(nf.key)) SetFieldFromJson(nf, nested, value[nf.key]);
        return;
    }
    if (value.is_null())
        return SetField(f, record, f.kind == FieldKind::Text ? "" : f.kind == FieldKind::Date ? "none" : "0");
    if (value.is_boolean()) return SetField(f, record, value.get<bool>() ? "yes" : "no");
    if (value.is_number_integer()) return SetField(f, record, std::to_string(value.get<long long>()));
    if (value.is_string()) {
        // A stored text as it was read (possibly cut); RefuseCutTexts
        // keeps it from being written back.
        if (f.kind == FieldKind::Text) return StoreText(f, record, value.get<std::string>());
        return SetField(f, record, value.get<std::string>());
    }
    throw ClientError(f.key + ": unexpected JSON value " + value.dump(), 2);
}

}  // namespace calyra::cli
