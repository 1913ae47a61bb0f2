#include <gtest/gtest.h>

#include "dav/dav_client.h"
#include "dav/dav_error.h"
#include "dav/xml_tree.h"

namespace calyra::dav {
namespace {

TEST(DavXml, ElementsAreMatchedByNamespaceWhateverThePrefix) {
    for (const char* doc : {
             "<D:multistatus xmlns:D=\"DAV:\"><D:response><D:href>/a</D:href></D:response></D:multistatus>",
             "<multistatus xmlns=\"DAV:\"><response><href>/a</href></response></multistatus>",
             "<ns0:multistatus xmlns:ns0=\"DAV:\"><ns0:response><ns0:href> /a\n</ns0:href></ns0:response>"
             "</ns0:multistatus>",
         }) {
        const XmlElement root = ParseXml(doc, "test");
        EXPECT_TRUE(root.is(kDavNs, "multistatus")) << doc;
        ASSERT_NE(root.find(kDavNs, "response"), nullptr) << doc;
        EXPECT_EQ(root.find(kDavNs, "response")->childText(kDavNs, "href"), "/a") << doc;
    }
    // Same local name, other namespace: not the DAV element.
    const XmlElement other = ParseXml("<x:multistatus xmlns:x=\"urn:other\"/>", "test");
    EXPECT_FALSE(other.is(kDavNs, "multistatus"));
}

TEST(DavXml, ParseEachHandsOverEveryResponseWholeUnderAnyPrefixAndKeepsNone) {
    for (const std::string p : {"D:", "", "ns0:"}) {
        const std::string ns = p.empty() ? "xmlns" : "xmlns:" + p.substr(0, p.size() - 1);
        std::string doc = "<" + p + "multistatus " + ns + "=\"DAV:\">";
        // About 2 MB: responses straddle the pieces the parser is fed.
        constexpr size_t kResponses = 30000;
        for (size_t i = 0; i < kResponses; ++i)
            doc += "<" + p + "response><" + p + "href>/c/" + std::to_string(i) + "</" + p + "href></" + p + "response>";
        size_t seen = 0, wrong = 0;
        const XmlElement root = ParseXmlEach(doc + "</" + p + "multistatus>", "REPORT answer", [&](XmlElement& r) {
            wrong += r.is(kDavNs, "response") && r.childText(kDavNs, "href") == "/c/" + std::to_string(seen) ? 0 : 1;
            ++seen;
        });
        EXPECT_TRUE(seen == kResponses && wrong == 0) << p << ": " << seen << " seen, " << wrong << " out of place";
        EXPECT_TRUE(root.children.empty()) << "a response is dropped once handed over";
        // Cut off mid-answer: a clear error, however much was handed over.
        EXPECT_THROW(ParseXmlEach(doc, "REPORT answer", [](XmlElement&) {}), DavError);
    }
}

TEST(DavXml, KeepsTextAcrossEntitiesAndCdata) {
    const XmlElement root = ParseXml(
        "<c:address-data xmlns:c=\"urn:ietf:params:xml:ns:carddav\">BEGIN:VCARD\r\nNOTE:a &amp; b &lt;c&gt;"
        "<![CDATA[ & raw <x>]]>\r\nEND:VCARD\r\n</c:address-data>",
        "test");
    EXPECT_EQ(root.text, "BEGIN:VCARD\nNOTE:a & b <c> & raw <x>\nEND:VCARD\n");  // XML normalises CR LF
}

TEST(DavXml, RefusesWhatIsNotPlainWellFormedXml) {
    const std::pair<std::string, const char*> cases[] = {
        {"", "empty"},
        {"<a><b></a>", "mismatched tag"},
        {"<!DOCTYPE a [<!ENTITY x \"y\">]><a>&x;</a>", "document type"},
        {std::string(100, '<'), "not well-formed"},
        {[] {
             std::string deep;
             for (int i = 0; i < 100; ++i) deep += "<a>";
             for (int i = 0; i < 100; ++i) deep += "</a>";
             return deep;
         }(),
         "nested too deeply"},
        {"HTTP error page", "syntax"},
    };
    for (const auto& [doc, why] : cases) {
        try {
            ParseXml(doc, "PROPFIND answer");
            ADD_FAILURE() << why << ": accepted";
        } catch (const DavError& e) {
            EXPECT_EQ(e.kind(), ErrorKind::Xml) << why;
            EXPECT_NE(std::string(e.what()).find("PROPFIND answer"), std::string::npos) << e.what();
        }
    }
}

TEST(DavXml, EscapesEveryMarkupCharacter) {
    EXPECT_EQ(XmlEscape("a&b<c>\"d'"), "a&amp;b&lt;c&gt;&quot;d&apos;");
    // What is written parses back to the same text.
    const std::string href = "/alice/<x>&'\"y.vcf";
    EXPECT_EQ(ParseXml("<href>" + XmlEscape(href) + "</href>", "test").text, href);
}

TEST(DavEtag, KeepsServersTagsAndQuotesBareOnes) {
    const std::pair<const char*, const char*> cases[] = {
        {"\"abc\"", "\"abc\""},
        {"  \"abc\"\n", "\"abc\""},
        {"abc", "\"abc\""},
        {"W/\"abc\"", "W/\"abc\""},
        {"", ""},
        {"1234-5678", "\"1234-5678\""},
        {"*", "*"},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(NormalizeEtag(in), out) << in;
}

}  // namespace
}  // namespace calyra::dav
