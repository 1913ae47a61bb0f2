// Identifier texts and the identifiers of the base interfaces.
#include "platform/guid.h"

#include <cstdio>

#include "platform/hresult.h"
#include "platform/unknown.h"

extern "C" const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
extern "C" const IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
extern "C" const IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

namespace {

int HexValue(OLECHAR c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

// Reads `digits` hex digits at text[pos]; false on any other character.
bool ReadHex(LPCOLESTR text, size_t pos, int digits, unsigned long long* out) {
    unsigned long long v = 0;
    for (int i = 0; i < digits; ++i) {
        int h = HexValue(text[pos + static_cast<size_t>(i)]);
        if (h < 0) return false;
        v = (v << 4) | static_cast<unsigned>(h);
    }
    *out = v;
    return true;
}

}  // namespace

extern "C" int StringFromGUID2(REFGUID g, LPOLESTR lpsz, int cchMax) {
    constexpr int kLen = 39;  // 38 characters and the terminator
    if (!lpsz || cchMax < kLen) return 0;
    char buf[kLen + 1];
    std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", static_cast<unsigned>(g.Data1),
                  g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6],
                  g.Data4[7]);
    for (int i = 0; i < kLen; ++i) lpsz[i] = static_cast<OLECHAR>(buf[i]);
    return kLen;
}

extern "C" HRESULT IIDFromString(LPCOLESTR s, IID* out) {
    if (!s || !out) return E_INVALIDARG;
    // Length check first so that the fixed-position reads stay inside.
    size_t len = 0;
    while (len < 39 && s[len]) ++len;
    // Not a braced text of the right length: not a GUID at all. Of the right
    // shape but with a bad character or separator: a malformed one, which
    // Windows tells apart.
    if (len != 38 || s[0] != u'{') return E_INVALIDARG;
    if (s[9] != u'-' || s[14] != u'-' || s[19] != u'-' || s[24] != u'-' || s[37] != u'}') return CO_E_IIDSTRING;
    unsigned long long v;
    GUID g{};
    if (!ReadHex(s, 1, 8, &v)) return CO_E_IIDSTRING;
    g.Data1 = static_cast<DWORD>(v);
    if (!ReadHex(s, 10, 4, &v)) return CO_E_IIDSTRING;
    g.Data2 = static_cast<WORD>(v);
    if (!ReadHex(s, 15, 4, &v)) return CO_E_IIDSTRING;
    g.Data3 = static_cast<WORD>(v);
    static constexpr size_t kBytePos[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (int i = 0; i < 8; ++i) {
        if (!ReadHex(s, kBytePos[i], 2, &v)) return CO_E_IIDSTRING;
        g.Data4[i] = static_cast<BYTE>(v);
    }
    *out = g;
    return S_OK;
}

extern "C" HRESULT CLSIDFromString(LPCOLESTR lpsz, CLSID* pclsid) {
    return IIDFromString(lpsz, pclsid) == S_OK ? S_OK : CO_E_CLASSSTRING;
}
