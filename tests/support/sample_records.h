// Two small records for the platform's record tests: Person with a text,
// a number, a date, a flag and a nested Note, described the way the type
// library describes its own records.
#pragma once

#include <cstddef>

#include "platform/type_description.h"

// One copy per test file; the descriptions are plain constants.
namespace {

using calyra::FieldDesc;
using calyra::RecordDesc;

struct Note {
    BSTR bstrText;
    LONG lPriority;
};
struct Person {
    BSTR bstrFirstName;
    BSTR bstrLastName;
    LONG lAge;
    DATE dtBirthday;
    VARIANT_BOOL bActive;
    Note stNote;
};

constexpr GUID kNoteGuid = {0x6b1c0a10, 0x1111, 0x4a00, {0x80, 0, 0, 0, 0, 0, 0, 1}};
constexpr GUID kPersonGuid = {0x6b1c0a10, 0x1111, 0x4a00, {0x80, 0, 0, 0, 0, 0, 0, 2}};
const FieldDesc kNoteFields[] = {
    {"bstrText", VT_BSTR, offsetof(Note, bstrText), nullptr},
    {"lPriority", VT_I4, offsetof(Note, lPriority), nullptr},
};
const RecordDesc kNoteDesc = {"tagNote", &kNoteGuid, sizeof(Note), kNoteFields, 2};
const FieldDesc kPersonFields[] = {
    {"bstrFirstName", VT_BSTR, offsetof(Person, bstrFirstName), nullptr},
    {"bstrLastName", VT_BSTR, offsetof(Person, bstrLastName), nullptr},
    {"lAge", VT_I4, offsetof(Person, lAge), nullptr},
    {"dtBirthday", VT_DATE, offsetof(Person, dtBirthday), nullptr},
    {"bActive", VT_BOOL, offsetof(Person, bActive), nullptr},
    {"stNote", VT_RECORD, offsetof(Person, stNote), &kNoteDesc},
};
const RecordDesc kPersonDesc = {"tagPerson", &kPersonGuid, sizeof(Person), kPersonFields, 6};

}  // namespace
