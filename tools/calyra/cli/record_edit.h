// EditRecord: the one way an `edit` command changes a stored record, the
// same steps in the same order for every record family:
//   1. nothing named: refused (exit status 2) before the file is touched;
//   2. `check` reads every option, so a text that cannot be read is refused
//      (exit status 2) before the file is touched;
//   3. `load` reads the stored record (an unknown ID is refused as the
//      family says) and gives its ID;
//   4. a text the stored record holds at full length (it may have come back
//      cut) that the command does not give anew is refused, so a cut text
//      is never written back (RefuseCutTexts);
//   5. `apply` lays the options over the stored record, so the fields not
//      named keep their values, and `store` checks and writes it;
//   6. `done` shows the outcome.
// A family says only what differs: how it reads, lays over and writes.
//
// Ownership: the record lives for the call. Thread-safety: one thread, like
// every command.
#pragma once

#include <functional>
#include <string>

#include "idl/owned_record.h"
#include "records/record_fields.h"
#include "records/text_limits.h"
#include "session/client_error.h"

namespace calyra::cli {

template <class Record>
struct RecordEdit {
    const char* command;  // "profiles edit", for the refusal's pointer to --help
    const char* what;     // "profile": what an ID names in messages
    bool anythingGiven;   // any option that changes the record was named
    std::function<void()> check;
    std::function<std::string(OwnedRecord<Record>*)> load;
    std::function<bool(const std::string& key)> replaced;  // the options give this field anew
    std::function<void(Record*)> apply;
    std::function<void(const std::string& id, Record*)> store;
    std::function<void(const std::string& id, const Record&)> done;
};

template <class Record>
void EditRecord(const RecordEdit<Record>& edit) {
    if (!edit.anythingGiven) throw ClientError(std::string("nothing to change (see ") + edit.command + " --help)", 2);
    if (edit.check) edit.check();
    OwnedRecord<Record> record;
    const std::string id = edit.load(&record);
    RefuseCutTexts(RecordDescriptionOf<Record>(), &record, edit.replaced, std::string(edit.what) + " " + id);
    edit.apply(&record);
    edit.store(id, &record);
    edit.done(id, record);
}

}  // namespace calyra::cli
