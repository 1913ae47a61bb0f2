// Every text a ContactCard or CalendarItem carries, for properties that must
// hold of all of them (valid UTF-8, no stray line breaks in parameters).
#pragma once

#include <string>

#include "interchange/calendar_item.h"
#include "interchange/contact_card.h"

namespace calyra::fuzz {

template <class F>
void ForEachText(const interchange::ContactCard& card, F f) {
    for (const std::string* s :
         {&card.formattedName, &card.familyName, &card.givenName, &card.additionalNames, &card.prefixes, &card.suffixes,
          &card.nickname, &card.spouse, &card.organization, &card.department, &card.title, &card.note})
        f(*s);
    for (const auto& a : card.addresses)
        for (const std::string* s :
             {&a.poBox, &a.extended, &a.street, &a.locality, &a.region, &a.postalCode, &a.country})
            f(*s);
    for (const auto& p : card.phones) f(p.number);
    for (const auto& e : card.emails) f(e.text);
    for (const auto& u : card.urls) f(u.text);
    for (const auto& im : card.ims) {
        f(im.protocol);
        f(im.address);
    }
    for (const auto& c : card.categories) f(c);
}

template <class F>
void ForEachText(const interchange::CalendarItem& item, F f) {
    for (const std::string* s : {&item.uid, &item.summary, &item.description, &item.location, &item.status,
                                 &item.classification, &item.busyStatus, &item.rrule})
        f(*s);
    for (const auto& c : item.categories) f(c);
}

}  // namespace calyra::fuzz
