// The registered type library against the C++ virtual tables: every
// method's oVft and every interface's cbSizeVft, read back with
// LoadRegTypeLib and ITypeInfo, must be where the compiler put them. The
// type-library marshaler builds its proxies from these offsets, and clients
// that import the library call through them, so a drift would send calls
// to the wrong method. Both sides are expanded from typelib.def.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "idl/calyra_idl.h"
#include "platform/bstr.h"

namespace {

struct MethodSlot {
    const char* name;
    std::ptrdiff_t vtableOffset;  // in bytes, as the compiler laid it out
};

struct InterfaceSlots {
    const char* name;
    const IID* iid;
    std::vector<MethodSlot> methods;
};

// The byte offset of a virtual method in its class's virtual table. Under
// the Itanium C++ ABI (g++ and clang, MinGW included) a pointer to a
// virtual member function holds that offset plus one.
template <class F>
std::ptrdiff_t VtableOffset(F method) {
    static_assert(sizeof(F) == 2 * sizeof(std::ptrdiff_t), "Itanium member-function pointer expected");
    std::ptrdiff_t words[2];
    std::memcpy(words, &method, sizeof words);
    return (words[0] & 1) ? words[0] - 1 : -1;
}

std::vector<InterfaceSlots> CppInterfaces() {
    std::vector<InterfaceSlots> out;
#define CALYRA_INTERFACE_BEGIN(name, guid) out.push_back({#name, &IID_##name, {}});
#define CALYRA_METHOD(iface, name, params) out.back().methods.push_back({#name, VtableOffset(&iface::name)});
#include "idl/typelib_expand.h"
    return out;
}

class RegisteredTypeLib : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        ASSERT_EQ(LoadRegTypeLib(LIBID_CalyraLib, 1, 0, 0, &m_lib), S_OK) << "is Calyra.dll registered?";
    }
    void TearDown() override {
        if (m_lib) m_lib->Release();
        CoUninitialize();
    }
    ITypeLib* m_lib = nullptr;
};

TEST_F(RegisteredTypeLib, EveryMethodSitsAtItsCppVtableSlot) {
    for (const InterfaceSlots& iface : CppInterfaces()) {
        SCOPED_TRACE(iface.name);
        ITypeInfo* info = nullptr;
        ASSERT_EQ(m_lib->GetTypeInfoOfGuid(*iface.iid, &info), S_OK);
        // A dual interface is found as its dispinterface; its vtable half is
        // the implemented type -1.
        TYPEATTR* attr = nullptr;
        ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
        const bool dispatch = attr->typekind == TKIND_DISPATCH;
        info->ReleaseTypeAttr(attr);
        if (dispatch) {
            HREFTYPE ref = 0;
            ITypeInfo* vtable = nullptr;
            ASSERT_EQ(info->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref), S_OK);
            ASSERT_EQ(info->GetRefTypeInfo(ref, &vtable), S_OK);
            info->Release();
            info = vtable;
        }
        ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
        EXPECT_EQ(attr->typekind, TKIND_INTERFACE);
        // IUnknown's 3 and IDispatch's 4 slots, then the interface's own.
        const std::ptrdiff_t size = static_cast<std::ptrdiff_t>((7 + iface.methods.size()) * sizeof(void*));
        EXPECT_EQ(attr->cbSizeVft, size) << "the library's virtual table size";
        EXPECT_EQ(attr->cFuncs, iface.methods.size());
        const WORD functions = attr->cFuncs;
        info->ReleaseTypeAttr(attr);
        for (UINT i = 0; i < functions && i < iface.methods.size(); ++i) {
            FUNCDESC* func = nullptr;
            ASSERT_EQ(info->GetFuncDesc(i, &func), S_OK);
            calyra::Bstr name;
            info->GetDocumentation(func->memid, &name, nullptr, nullptr, nullptr);
            const MethodSlot& cpp = iface.methods[i];
            EXPECT_EQ(name.utf8(), cpp.name);
            EXPECT_EQ(func->memid, static_cast<MEMBERID>(i + 1)) << cpp.name;
            EXPECT_EQ(func->oVft, cpp.vtableOffset) << cpp.name << ": library and C++ disagree on its slot";
            EXPECT_EQ(func->oVft, static_cast<std::ptrdiff_t>((7 + i) * sizeof(void*))) << cpp.name;
            info->ReleaseFuncDesc(func);
        }
        info->Release();
    }
}

}  // namespace
