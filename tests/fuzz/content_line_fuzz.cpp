// The line syntax vCard and iCalendar share, and the decodings beneath it:
// - escaping: UnescapeText(EscapeText(x)) gives x back for any UTF-8 text,
//   every line break (CR LF, CR or LF) as one line feed;
// - folding: a folded line reads back as the one logical line it was, and
//   no physical line is longer than 75 octets plus its break; a line is
//   only folded where its next character would not fit;
// - parsing any logical line, splitting any value, decoding any
//   quoted-printable text and converting any bytes from any charset name:
//   no crash, and a conversion that succeeds gives valid UTF-8.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/reader_checks.h"
#include "interchange/content_line.h"

using namespace calyra::interchange;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // The first line names a charset for the conversion; the rest is the text.
    size_t cut = bytes.find('\n');
    std::string_view charset = cut == std::string_view::npos ? std::string_view() : bytes.substr(0, cut);
    std::string_view body = cut == std::string_view::npos ? bytes : bytes.substr(cut + 1);

    if (IsValidUtf8(body)) {
        // Every line break as one line feed.
        std::string withLineFeeds(body);
        for (size_t at = 0; (at = withLineFeeds.find('\r', at)) != std::string::npos; ++at)
            withLineFeeds.replace(at, withLineFeeds.compare(at, 2, "\r\n") == 0 ? 2 : 1, "\n");
        FUZZ_CHECK(UnescapeText(EscapeText(body)) == withLineFeeds);
        if (body.find_first_of("\r\n") == std::string_view::npos && !body.empty()) {
            std::string line = "X-TEST:" + std::string(body);
            std::string folded = FoldLine(line);
            calyra::fuzz::CheckWritten(folded, true);
            ContentLineReader reader(folded);
            auto logical = reader.next();
            FUZZ_CHECK(logical && logical->text == line);
            FUZZ_CHECK(!reader.next());
        }
    }

    ContentLineReader reader(body);
    while (auto logical = reader.next()) {
        ContentLine parsed;
        std::string error;
        if (ParseContentLine(*logical, &parsed, &error)) {
            SplitEscaped(parsed.value, ';');
            SplitEscaped(parsed.value, ',');
        }
    }
    std::string decoded = DecodeQuotedPrintable(body);
    if (!charset.empty()) {
        auto converted = ConvertToUtf8(decoded, charset);
        if (converted) FUZZ_CHECK(IsValidUtf8(*converted));
    }
    return 0;
}
