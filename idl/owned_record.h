// Owners for the records and record arrays an operation hands out.
//
//   calyra::OwnedRecord<tagContactInfo> contact;
//   contacts->GetContactByID(&err, id, &contact);   // texts freed on scope exit
//
//   calyra::OwnedRecordArray<tagContactInfo> all;
//   contacts->GetAllContacts(&err, &n, &all);
//   for (const tagContactInfo& c : all) ...
//
// Ownership: an OwnedRecord frees every BSTR of its record (and clears nested
// records) when it goes; an OwnedRecordArray destroys its SAFEARRAY, which
// clears every element. Neither is copyable. Thread-safety: as a plain value.
#pragma once

#include "idl/typelib_description.h"
#include "platform/record_info.h"
#include "platform/safearray.h"

namespace calyra {

template <class Record>
struct OwnedRecord : Record {
    OwnedRecord() : Record{} {}
    ~OwnedRecord() { clear(); }
    OwnedRecord(const OwnedRecord&) = delete;
    OwnedRecord& operator=(const OwnedRecord&) = delete;
    // Frees the texts and zeroes the record, ready to be filled again.
    void clear() {
        RecordClearByDescription(&RecordDescriptionOf<Record>(), static_cast<Record*>(this));
        static_cast<Record&>(*this) = Record{};
    }
};

template <class Record>
class OwnedRecordArray {
public:
    OwnedRecordArray() = default;
    ~OwnedRecordArray() { SafeArrayDestroy(m_array); }
    OwnedRecordArray(const OwnedRecordArray&) = delete;
    OwnedRecordArray& operator=(const OwnedRecordArray&) = delete;

    // For the SAFEARRAY** out-parameter; releases what was held before.
    SAFEARRAY** operator&() {
        SafeArrayDestroy(m_array);
        m_array = nullptr;
        return &m_array;
    }
    SAFEARRAY* get() const { return m_array; }
    // Number of elements; -1 when no array was handed out.
    LONG size() const {
        LONG lb = 0, ub = -1;
        if (!m_array) return -1;
        SafeArrayGetLBound(m_array, 1, &lb);
        SafeArrayGetUBound(m_array, 1, &ub);
        return ub - lb + 1;
    }
    const Record& operator[](LONG i) const { return data()[i]; }
    const Record* begin() const { return data(); }
    const Record* end() const { return data() + (size() > 0 ? size() : 0); }

private:
    const Record* data() const { return m_array ? static_cast<const Record*>(m_array->pvData) : nullptr; }
    SAFEARRAY* m_array = nullptr;
};

}  // namespace calyra
