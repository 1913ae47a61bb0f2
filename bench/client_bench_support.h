// What the benchmarks of the client (calyra_bench_client_contacts,
// calyra_bench_interchange, calyra_bench_client_calendar) share besides
// bench_support.h: the generated contact every one of them starts from,
// and a new database file made by the component through a client session.
//
// Ownership: NewSession hands out its session; the caller owns it and the
// file stays when it goes. Thread-safety: none; a benchmark program runs on
// one thread.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "idl/owned_record.h"
#include "interchange/contact_card.h"
#include "platform/bstr.h"
#include "records/record_fields.h"
#include "session/session.h"

namespace calyra::bench {

// Contact `n` of an address book: names (with quotes and accents), company,
// title, a work and a mobile phone and a work e-mail, all numbered by n.
inline interchange::ContactCard BenchCard(int n) {
    namespace ix = interchange;
    static const char* const kFamily[] = {"Lindqvist", "O'Brien", "Müller-Lüdenscheidt", "Nakamura", "García"};
    static const char* const kGiven[] = {"Zoë", "Patrick", "Hans-Jürgen", "Haruto", "Lucía"};
    const std::string i = std::to_string(n);
    ix::ContactCard c;
    c.familyName = kFamily[n % 5] + i;
    c.givenName = kGiven[n % 5];
    c.organization = "Northwind Traders " + i;
    c.title = "Senior Buyer";
    c.phones = {{ix::Place::Work, ix::PhoneKind::Voice, true, "+46 8 555 " + i},
                {ix::Place::Home, ix::PhoneKind::Mobile, false, "+46 70 555 " + i}};
    c.emails = {{ix::Place::Work, true, "contact" + i + "@example.org"}};
    return c;
}

// A new database file made by the component (schema, version row, profile
// 1 "Bench"), opened through a client session; NULL when the profile could
// not be added.
inline std::unique_ptr<cli::Session> NewSession(const std::filesystem::path& file) {
    std::filesystem::remove(file);
    cli::GlobalOptions options;
    options.db = file.string();
    auto session = std::make_unique<cli::Session>(options);
    auto profiles = session->access<IProfileAccess>();
    OwnedRecord<tagProfileInfo> profile;
    SetField(*cli::FindField(RecordDescriptionOf<tagProfileInfo>(), "name"), &profile, "Bench");
    LONG err = 0;
    Bstr id;
    if (FAILED(profiles->AddProfile(&err, &profile, &id))) return nullptr;
    session->resetProfile();
    return session;
}

}  // namespace calyra::bench
