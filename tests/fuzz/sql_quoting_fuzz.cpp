// Any text quoted into a statement reads back unchanged and never changes
// the statement's shape: "SELECT '<text>', '<text>';" built with SqlText
// runs through the engine as one statement with two columns and one row,
// and both fields are the text itself, as the component's UTF-8 codec
// carries it (an unpaired surrogate becomes U+FFFD). The engine is the one
// the component uses, so its UTF-16/UTF-8 conversions are part of what is
// checked.
#include <cstdint>
#include <string>

#include "engine/engine.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_input.h"
#include "platform/utf8.h"
#include "tables/sql_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    calyra::fuzz::FuzzInput in(data, size);
    std::u16string text = in.RestAsText();
    // A zero unit ends a text at the engine's C boundary; the connection
    // refuses such statements before they get there.
    if (text.find(u'\0') != std::u16string::npos) return 0;

    const calyra::Bstr statement =
        calyra::SqlText(u"SELECT '").AppendQuoted(text).Append(u"', '").AppendQuoted(text).Append(u"';").ToBstr();

    static const LONG handle = DbOpen(u":memory:");
    FUZZ_CHECK(handle >= 0);
    LONG rows = 0, columns = 0;
    LONGLONG slot = 0;
    FUZZ_CHECK(DbQuery(handle, statement, &rows, &columns, &slot) == 0);
    FUZZ_CHECK(rows == 1);
    FUZZ_CHECK(columns == 2);
    const std::u16string stored = calyra::Utf8ToUtf16(calyra::Utf16ToUtf8(text));
    FUZZ_CHECK(std::u16string(DbGetFieldValue(handle, &slot, 0)) == stored);
    FUZZ_CHECK(std::u16string(DbGetFieldValue(handle, &slot, 1)) == stored);
    FUZZ_CHECK(DbFreeResultset(handle, &slot) == 0);
    return 0;
}
