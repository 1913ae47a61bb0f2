// Identifier texts in the registry form.
#include <gtest/gtest.h>

#include "platform/bstr.h"
#include "platform/guid.h"
#include "platform/hresult.h"
#include "platform/unknown.h"

// The upper-case text StringFromGUID2 writes is pinned with the library's
// identifiers (tests/idl) and read back by dispatch (dispatch_test.cpp); a
// text written by hand may use lower case.
TEST(Guid, LowerCaseTextIsReadToo) {
    IID parsed{};
    ASSERT_EQ(IIDFromString(calyra::AsOle(u"{00020400-0000-0000-c000-000000000046}"), &parsed), S_OK);
    EXPECT_TRUE(IsEqualIID(parsed, IID_IDispatch));
}

TEST(Guid, RejectsMalformedTextsAndSmallBuffers) {
    IID g{};
    // Not a GUID's shape at all, or its shape with a bad character inside.
    struct Bad {
        const char16_t* text;
        HRESULT hr;
    };
    for (const Bad& bad : {Bad{u"", E_INVALIDARG}, Bad{u"{00020400-0000-0000-C000-00000000004}", E_INVALIDARG},
                           Bad{u"00020400-0000-0000-C000-000000000046", E_INVALIDARG},
                           Bad{u"{00020400-0000-0000-C000-0000000000466}", E_INVALIDARG},
                           Bad{u"{0002040G-0000-0000-C000-000000000046}", CO_E_IIDSTRING},
                           Bad{u"{00020400_0000-0000-C000-000000000046}", CO_E_IIDSTRING}})
        EXPECT_EQ(IIDFromString(calyra::AsOle(bad.text), &g), bad.hr) << calyra::Utf16ToUtf8(bad.text);
    EXPECT_EQ(CLSIDFromString(calyra::AsOle(u"nonsense"), &g), CO_E_CLASSSTRING);
    OLECHAR small[38];
    EXPECT_EQ(StringFromGUID2(IID_IUnknown, small, 38), 0);
}
