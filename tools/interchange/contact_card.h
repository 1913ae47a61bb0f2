// A contact as vCard files carry it, in the shape the calyra client needs:
// names, dates, organisation, notes and the five kinds of details
// (addresses, phones, e-mail, web and instant-messaging addresses), each
// with its place (home, work, other) and a preferred mark, plus categories.
//
// Everything is valid UTF-8 text, already unescaped and decoded, with line
// breaks as line feeds. The reader fills these from vCard 2.1, 3.0 and 4.0;
// the writer turns them back into 3.0 or 4.0.
//
// What a card says beyond that is kept so it can be written back: its UID,
// its KIND and MEMBERs, each detail's content-line group ("item1", which
// ties a custom label to it) and TYPE values the fields do not cover, and
// every other property as a content line (`extras`: X- properties, PHOTO,
// labels, ...). The reader also keeps the card's own text (`source`).
//
// Ownership: plain values. Thread-safety: as a plain value.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace calyra::interchange {

// Where a detail belongs. vCard details without HOME or WORK are Other.
enum class Place { Home, Work, Other };

// What a telephone number reaches. Plain numbers (TYPE=voice or none) are
// Voice.
enum class PhoneKind { Voice, Mobile, Fax, Pager };

// A calendar day; year 0 when the card gives none (vCard 4.0 "--0415").
struct CardDate {
    int year = 0;
    int month = 0;  // 1-12
    int day = 0;    // 1-31
    bool operator==(const CardDate&) const = default;
};

struct CardAddress {
    Place place = Place::Other;
    bool preferred = false;
    std::string poBox, extended, street, locality, region, postalCode, country;
    std::string group = {};                    // the content line's group; empty for none
    std::vector<std::string> otherTypes = {};  // TYPE values beyond place, kind and pref (lower case)
    bool operator==(const CardAddress&) const = default;
};

struct CardPhone {
    Place place = Place::Other;
    PhoneKind kind = PhoneKind::Voice;
    bool preferred = false;
    std::string number;
    std::string group = {};
    std::vector<std::string> otherTypes = {};
    bool operator==(const CardPhone&) const = default;
};

// E-mail and web addresses.
struct CardAddressText {
    Place place = Place::Other;
    bool preferred = false;
    std::string text;
    std::string group = {};
    std::vector<std::string> otherTypes = {};
    bool operator==(const CardAddressText&) const = default;
};

struct CardIm {
    Place place = Place::Other;
    bool preferred = false;
    std::string protocol;  // lower-case service name: "jabber", "aim", "skype" ...
    std::string address;   // the handle without a URI scheme: "alice@example.com"
    std::string group = {};
    std::vector<std::string> otherTypes = {};
    bool operator==(const CardIm&) const = default;
};

struct ContactCard {
    size_t line = 0;  // where BEGIN:VCARD stood; 0 for cards made in memory

    std::string formattedName;                                               // FN
    std::string familyName, givenName, additionalNames, prefixes, suffixes;  // N
    std::string nickname;
    std::optional<CardDate> birthday;
    std::optional<CardDate> anniversary;
    std::string spouse;
    std::string organization, department;  // ORG
    std::string title;                     // TITLE (the job title)
    std::string note;

    std::vector<CardAddress> addresses;
    std::vector<CardPhone> phones;
    std::vector<CardAddressText> emails;
    std::vector<CardAddressText> urls;
    std::vector<CardIm> ims;
    std::vector<std::string> categories;

    std::string uid;                   // UID as written
    std::string kind;                  // KIND in lower case ("group", "org"); empty for a person
    std::vector<std::string> members;  // MEMBER values of a group card, as written (URIs)
    // Other properties, one content line each as a 3.0 or 4.0 file writes
    // it (unfolded, without its line break; 2.1 encodings undone).
    std::vector<std::string> extras;
    // The card as the file held it, BEGIN to END; empty for cards made in
    // memory. Not compared: the same card may be written many ways.
    std::string source;

    bool operator==(const ContactCard& other) const;
};

inline bool ContactCard::operator==(const ContactCard& o) const {
    auto fields = [](const ContactCard& c) {
        return std::tie(c.formattedName, c.familyName, c.givenName, c.additionalNames, c.prefixes, c.suffixes,
                        c.nickname, c.birthday, c.anniversary, c.spouse, c.organization, c.department, c.title, c.note,
                        c.addresses, c.phones, c.emails, c.urls, c.ims, c.categories, c.uid, c.kind, c.members,
                        c.extras);
    };
    return line == o.line && fields(*this) == fields(o);
}

}  // namespace calyra::interchange
