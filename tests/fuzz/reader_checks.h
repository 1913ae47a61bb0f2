// The properties every file reader and writer of the client must hold on
// any bytes, written once for the fuzz targets of both formats: every text
// a reader hands out is valid UTF-8 whatever the file's encoding claimed,
// reading a file a few entries at a time (as large imports do) gives
// exactly what reading it whole gives, and a writer folds its lines at 75
// octets. A broken property aborts through FUZZ_CHECK.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

#include "fuzz/fuzz_check.h"
#include "interchange/calendar_item.h"
#include "interchange/contact_card.h"
#include "interchange/text_encoding.h"

namespace calyra::fuzz {

// Every text a ContactCard or CalendarItem carries, except a card's
// source text, which is the file's bytes as they were.
template <class F>
void ForEachText(const interchange::ContactCard& card, F f) {
    for (const std::string* s :
         {&card.formattedName, &card.familyName, &card.givenName, &card.additionalNames, &card.prefixes, &card.suffixes,
          &card.nickname, &card.spouse, &card.organization, &card.department, &card.title, &card.note})
        f(*s);
    // A detail's group and extra TYPE values are written back as they came.
    auto detail = [&f](const auto& d) {
        f(d.group);
        for (const auto& t : d.otherTypes) f(t);
    };
    for (const auto& a : card.addresses) {
        for (const std::string* s :
             {&a.poBox, &a.extended, &a.street, &a.locality, &a.region, &a.postalCode, &a.country})
            f(*s);
        detail(a);
    }
    for (const auto& p : card.phones) {
        f(p.number);
        detail(p);
    }
    for (const auto* texts : {&card.emails, &card.urls})
        for (const auto& t : *texts) {
            f(t.text);
            detail(t);
        }
    for (const auto& im : card.ims) {
        f(im.protocol);
        f(im.address);
        detail(im);
    }
    for (const auto* list : {&card.categories, &card.members, &card.extras})
        for (const auto& s : *list) f(s);
    f(card.uid);
    f(card.kind);
}

template <class F>
void ForEachText(const interchange::CalendarItem& item, F f) {
    for (const std::string* s : {&item.uid, &item.summary, &item.description, &item.location, &item.timeZone,
                                 &item.status, &item.classification, &item.busyStatus, &item.rrule, &item.original})
        f(*s);
    for (const auto& c : item.categories) f(c);
}

// `parse(bytes)` reads the file whole into a result whose entries (cards,
// items) are `entries`; `readBatches(bytes, perBatch, visit)` hands the same
// file to `visit` in batches of about `perBatch` entries with the bytes
// read so far; `bounded`: never more than `perBatch` (a vCard batch may hold
// more, as the file is only cut where no card is left open). Returns the
// whole file's result.
template <class Result, class Entries, class Parse, class ReadBatches>
Result CheckReader(std::string_view bytes, Entries Result::*entries, Parse parse, ReadBatches readBatches,
                   bool bounded) {
    Result whole = parse(bytes);
    for (const auto& entry : whole.*entries)
        ForEachText(entry, [](const std::string& s) { FUZZ_CHECK(interchange::IsValidUtf8(s)); });
    for (std::size_t perBatch : {1, 2}) {
        Result batched;
        std::size_t readSoFar = 0;
        readBatches(bytes, perBatch, [&](Result& batch, std::size_t read) {
            FUZZ_CHECK(!bounded || (batch.*entries).size() <= perBatch);
            FUZZ_CHECK(read >= readSoFar && read <= bytes.size());
            readSoFar = read;
            for (auto& entry : batch.*entries) (batched.*entries).push_back(std::move(entry));
            for (auto& d : batch.report.diagnostics) batched.report.diagnostics.push_back(std::move(d));
            for (const auto& [name, n] : batch.report.unmapped) batched.report.unmapped[name] += n;
        });
        FUZZ_CHECK(readSoFar == bytes.size());
        FUZZ_CHECK(batched.*entries == whole.*entries);
        FUZZ_CHECK(batched.report.unmapped == whole.report.unmapped);
        FUZZ_CHECK(batched.report.diagnostics.size() == whole.report.diagnostics.size());
        for (std::size_t i = 0; i < whole.report.diagnostics.size(); ++i) {
            const auto &a = whole.report.diagnostics[i], &b = batched.report.diagnostics[i];
            FUZZ_CHECK(a.line == b.line && a.what == b.what && a.skipped == b.skipped);
        }
    }
    return whole;
}

// What a writer wrote: valid UTF-8, every line ended by CRLF and at most
// 75 octets; `tight`: folded only where the next character would not have
// fit (as FoldLine folds).
inline void CheckWritten(std::string_view written, bool tight = false) {
    FUZZ_CHECK(interchange::IsValidUtf8(written));
    for (std::size_t start = 0, end; start < written.size(); start = end + 2) {
        end = written.find("\r\n", start);
        FUZZ_CHECK(end != std::string_view::npos && end - start <= 75);
        if (tight && end + 3 < written.size())  // after the break and the blank of a fold
            FUZZ_CHECK(end - start + interchange::Utf8SequenceLength(static_cast<unsigned char>(written[end + 3])) >
                       75);
    }
}

}  // namespace calyra::fuzz
