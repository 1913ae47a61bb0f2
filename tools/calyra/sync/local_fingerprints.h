// What a sync compares to find the local items that changed: for each
// contact, event or task of the current profile a hash of its records as
// stored (every field, with a contact's details and groups or an event's
// exceptions) and of what the side store keeps for it (its UID and kept
// text), with the UID it goes by. Everything an export of the item is made
// from goes into the hash, so it changes whenever the export could, also
// when another program wrote the records (an event's category goes in by
// its name, which the export writes); and it is taken without writing the
// item as vCard or iCalendar: a few queries for the whole profile, a small
// part of an export's cost.
//
// Memory: items are read a chunk of rows at a time, in ID order, and
// handed over a chunk at a time; what is held per item of a chunk is
// fixed-size folds of its details, groups and kept text, not the texts.
// Only an event's replaced occurrences (few) are folded for the whole
// profile at once.
//
// Ownership: values. Thread-safety: one thread, like the session.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "session/session.h"

namespace calyra::sync {

struct Fingerprint {
    std::string rowId;
    std::string uid;  // kept, else derived from the row
    std::string hash;
};

// Called with each chunk of fingerprints; it may take the values.
using FingerprintVisit = std::function<void(std::vector<Fingerprint>& chunk)>;

void ContactFingerprints(cli::Session& session, const FingerprintVisit& visit);
// Whether `hash` was made the way this version makes fingerprints (one
// recorded by a version that hashed other texts cannot be compared).
bool IsCurrentFingerprint(std::string_view hash);
void EventFingerprints(cli::Session& session, const FingerprintVisit& visit);
void TaskFingerprints(cli::Session& session, const FingerprintVisit& visit);

}  // namespace calyra::sync
