// How the detail options (--phone, --email, --url, --im, --address) read
// their texts: which prefixes count, what stays part of the value, and what
// is refused with a reason.
#include <gtest/gtest.h>

#include "client_error.h"
#include "contact_details.h"
#include "contact_records.h"

namespace calyra::cli {
namespace {

struct Readable {
    const char* family;
    std::string text;
    DetailFields expected;
};

TEST(ClientContactsDetails, OptionTextsReadIntoTheRecordFields) {
    const Readable cases[] = {
        {"phone", "+49301234", {{"phone_number", "+49301234"}}},
        {"phone",
         "work:mobile:+49301234",
         {{"location_type", "work"}, {"phone_number_type", "mobile"}, {"phone_number", "+49301234"}}},
        {"phone", "fax:+49 30 1234", {{"phone_number_type", "fax"}, {"phone_number", "+49 30 1234"}}},
        // "other" names a location and a type; the location comes first.
        {"phone",
         "OTHER:other:112",
         {{"location_type", "other"}, {"phone_number_type", "other"}, {"phone_number", "112"}}},
        {"phone", "+49 30:1234", {{"phone_number", "+49 30:1234"}}},
        {"email", "home:ada@example.org", {{"location_type", "home"}, {"email", "ada@example.org"}}},
        {"email", " ada@example.org ", {{"email", "ada@example.org"}}},
        {"url", "https://example.org:8080/a?b=c:d", {{"web_url", "https://example.org:8080/a?b=c:d"}}},
        {"url",
         "work:https://example.org:8080/a",
         {{"location_type", "work"}, {"web_url", "https://example.org:8080/a"}}},
        {"url", "mailto:ada@example.org", {{"web_url", "mailto:ada@example.org"}}},
        {"url", "home:urn:isbn:0451450523", {{"location_type", "home"}, {"web_url", "urn:isbn:0451450523"}}},
        {"im", "xmpp:ada@example.org", {{"protocol", "xmpp"}, {"address", "ada@example.org"}}},
        {"im", "work:skype:live:ada", {{"location_type", "work"}, {"protocol", "skype"}, {"address", "live:ada"}}},
        {"im", "@ada:matrix.org", {{"address", "@ada:matrix.org"}}},
        {"im", "ada", {{"address", "ada"}}},
        {"address",
         "work:Unter den Linden 1;Berlin;;10117;Germany",
         {{"location_type", "work"},
          {"street", "Unter den Linden 1"},
          {"city", "Berlin"},
          {"zip_code", "10117"},
          {"country", "Germany"}}},
        {"address", "Main St 1\\;rear;Springfield", {{"street", "Main St 1;rear"}, {"city", "Springfield"}}},
        {"address", ";;;;Iceland", {{"country", "Iceland"}}},
        {"address", "home:Avenue:5;Paris", {{"location_type", "home"}, {"street", "Avenue:5"}, {"city", "Paris"}}},
        {"address", "Via dell'Aquila 3;L'Aquila", {{"street", "Via dell'Aquila 3"}, {"city", "L'Aquila"}}},
    };
    for (const auto& c : cases) {
        const DetailFamily* family = FindDetailFamily(c.family);
        ASSERT_NE(family, nullptr) << c.family;
        try {
            EXPECT_EQ(ParseDetail(*family, c.text), c.expected) << "--" << c.family << " " << c.text;
        } catch (const ClientError& e) {
            ADD_FAILURE() << "--" << c.family << " " << c.text << " was refused: " << e.what();
        }
    }
}

struct Refused {
    const char* family;
    std::string text;
    const char* reason;
};

TEST(ClientContactsDetails, UnreadableTextsAreRefusedNamingTheOption) {
    const Refused cases[] = {
        {"phone", "work:cellular:+49301234", "unknown location or type \"cellular\""},
        {"phone", "wrok:+49301234", "unknown location or type \"wrok\""},
        {"phone", "work:", "no phone number"},
        {"phone", "mobile", "no phone number"},
        {"email", "ada.example.org", "no e-mail address"},
        {"email", "ada@", "no e-mail address"},
        {"email", "wrok:ada@example.org", "unknown location \"wrok\""},
        {"url", "wrok:https://example.org", "unknown location \"wrok\""},
        {"url", "https://exa mple.org", "no spaces"},
        {"url", "work:", "no URL"},
        {"im", "hmoe:xmpp:ada@example.org", "unknown location \"hmoe\""},
        {"im", "home:", "no address"},
        {"address", "hoem:Main St 1;Berlin", "unknown location \"hoem\""},
        {"address", "a;b;c;d;e;f", "more than five parts"},
        {"address", "work: ; ;", "no address"},
        {"phone", "+49" + std::string(kMaxTextUnits, '1'), "too long"},
    };
    for (const auto& c : cases) {
        const DetailFamily* family = FindDetailFamily(c.family);
        ASSERT_NE(family, nullptr) << c.family;
        const std::string option = "--" + std::string(c.family);
        try {
            DetailFields fields = ParseDetail(*family, c.text);
            ADD_FAILURE() << option << " " << c.text << " was accepted as " << fields.size() << " fields";
        } catch (const ClientError& e) {
            const std::string message = e.what();
            EXPECT_EQ(e.status(), 2) << message;
            EXPECT_EQ(message.rfind(option + ": ", 0), 0u) << "the message names the option: " << message;
            EXPECT_NE(message.find(c.reason), std::string::npos) << option << " " << c.text << ": " << message;
        }
    }
}

TEST(ClientContactsDetails, HelpListsThePrefixNamesAndDefaults) {
    const std::string help = DetailHelp(*FindDetailFamily("phone"));
    EXPECT_NE(help.find("[LOCATION:][TYPE:]NUMBER"), std::string::npos) << help;
    EXPECT_NE(help.find("LOCATION home|work|other (default home)"), std::string::npos) << help;
    EXPECT_NE(help.find("TYPE mobile|fax|pager|other (default mobile)"), std::string::npos) << help;
}

}  // namespace
}  // namespace calyra::cli
