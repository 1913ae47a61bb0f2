#include "dav/xml_tree.h"

#include <expat.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <exception>
#include <memory>

#include "dav/dav_error.h"

namespace calyra::dav {
namespace {

// Separates the namespace URI from the local name in expat's names; a URI
// cannot hold a line feed.
constexpr char kSeparator = '\n';
constexpr size_t kMaxDepth = 64;

struct Builder {
    XML_Parser parser = nullptr;
    XmlElement root;
    std::vector<XmlElement*> open;  // path from the root to the element being read
    bool haveRoot = false;
    std::string failure;
    // Given: each child of the root goes here when complete, then is dropped.
    const std::function<void(XmlElement&)>* each = nullptr;
    std::exception_ptr thrown;  // by `each`; expat is C and must not see it
};

void SplitName(const char* full, XmlElement& e) {
    const std::string_view name(full);
    const size_t cut = name.find(kSeparator);
    if (cut == std::string_view::npos) {
        e.name = std::string(name);
    } else {
        e.ns = std::string(name.substr(0, cut));
        e.name = std::string(name.substr(cut + 1));
    }
}

void Stop(Builder* b, std::string why) {
    if (b->failure.empty()) b->failure = std::move(why);
    XML_StopParser(b->parser, XML_FALSE);
}

void OnStart(void* user, const XML_Char* name, const XML_Char** attributes) {
    auto* b = static_cast<Builder*>(user);
    if (b->open.size() >= kMaxDepth) return Stop(b, "elements nested too deeply");
    XmlElement* e;
    if (b->open.empty()) {
        e = &b->root;
        b->haveRoot = true;
    } else {
        XmlElement* parent = b->open.back();
        e = &parent->children.emplace_back();
    }
    SplitName(name, *e);
    for (size_t i = 0; attributes[i] && attributes[i + 1]; i += 2) {
        XmlElement scratch;
        SplitName(attributes[i], scratch);
        e->attributes.emplace_back(scratch.name, attributes[i + 1]);
    }
    b->open.push_back(e);
}

void OnEnd(void* user, const XML_Char*) {
    auto* b = static_cast<Builder*>(user);
    if (b->open.empty()) return;
    b->open.pop_back();
    if (!b->each || b->open.size() != 1 || b->thrown) return;
    // A child of the root is complete (the last one it holds).
    try {
        (*b->each)(b->root.children.back());
    } catch (...) {
        b->thrown = std::current_exception();
        XML_StopParser(b->parser, XML_FALSE);
    }
    b->root.children.pop_back();
}

void OnText(void* user, const XML_Char* text, int length) {
    auto* b = static_cast<Builder*>(user);
    if (!b->open.empty() && length > 0) b->open.back()->text.append(text, static_cast<size_t>(length));
}

void OnDoctype(void* user, const XML_Char*, const XML_Char*, const XML_Char*, int) {
    Stop(static_cast<Builder*>(user), "a document type declaration (refused)");
}

struct ParserDeleter {
    void operator()(XML_Parser p) const { XML_ParserFree(p); }
};

}  // namespace

const XmlElement* XmlElement::find(std::string_view childNs, std::string_view childName) const {
    for (const XmlElement& c : children)
        if (c.is(childNs, childName)) return &c;
    return nullptr;
}

std::string XmlElement::childText(std::string_view childNs, std::string_view childName) const {
    const XmlElement* c = find(childNs, childName);
    return c ? TrimSpace(c->text) : std::string();
}

std::string XmlElement::attribute(std::string_view attributeName) const {
    for (const auto& [name, value] : attributes)
        if (name == attributeName) return value;
    return {};
}

XmlElement ParseXml(std::string_view bytes, std::string_view what) { return ParseXmlEach(bytes, what, nullptr); }

XmlElement ParseXmlEach(std::string_view bytes, std::string_view what,
                        const std::function<void(XmlElement& child)>& each) {
    std::unique_ptr<XML_ParserStruct, ParserDeleter> parser(XML_ParserCreateNS(nullptr, kSeparator));
    if (!parser) throw DavError(ErrorKind::Xml, std::string(what) + ": out of memory");
    Builder b;
    b.parser = parser.get();
    if (each) b.each = &each;
    XML_SetUserData(b.parser, &b);
    XML_SetElementHandler(b.parser, OnStart, OnEnd);
    XML_SetCharacterDataHandler(b.parser, OnText);
    XML_SetStartDoctypeDeclHandler(b.parser, OnDoctype);

    // Fed in pieces: expat takes an int length.
    constexpr size_t kPiece = size_t{1} << 20;
    XML_Status status = XML_STATUS_OK;
    size_t done = 0;
    do {
        const size_t n = std::min(kPiece, bytes.size() - done);
        const bool last = done + n == bytes.size();
        status = XML_Parse(b.parser, bytes.data() + done, static_cast<int>(n), last ? XML_TRUE : XML_FALSE);
        done += n;
    } while (status == XML_STATUS_OK && done < bytes.size());
    if (b.thrown) std::rethrow_exception(b.thrown);

    if (status != XML_STATUS_OK || !b.haveRoot) {
        std::string why = b.failure;
        if (why.empty())
            why = b.haveRoot || bytes.empty() ? std::string(XML_ErrorString(XML_GetErrorCode(b.parser)))
                                              : std::string("no element");
        if (bytes.empty()) why = "an empty body";
        throw DavError(ErrorKind::Xml, std::string(what) + " is not valid XML: " + why + " (line " +
                                           std::to_string(XML_GetCurrentLineNumber(b.parser)) + ")");
    }
    return std::move(b.root);
}

std::string XmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&apos;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string TrimSpace(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
    return std::string(text);
}

}  // namespace calyra::dav
