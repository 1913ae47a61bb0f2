// A client reaches the component's record types through the type library
// the module carries and registers.
#include <gtest/gtest.h>

#include "idl/calyra_idl.h"
#include "module_fixture.h"
#include "platform/com_ptr.h"
#include "platform/type_lib.h"

using calyra::ComPtr;

namespace {
class TypeLibraryTest : public calyra::test::ModuleTest {};
}  // namespace

TEST_F(TypeLibraryTest, RegisteredLibraryServesRecordInfosToClients) {
    ASSERT_EQ(Register(), S_OK);
    ComPtr<ITypeLib> lib;
    ASSERT_EQ(LoadRegTypeLib(LIBID_CalyraLib, 1, 0, LOCALE_USER_DEFAULT, &lib), S_OK);
    GUID libid{};
    ASSERT_EQ(lib->GetLibGuid(&libid), S_OK);
    EXPECT_TRUE(IsEqualGUID(libid, LIBID_CalyraLib));

    ComPtr<IRecordInfo> info;
    ASSERT_EQ(GetRecordInfoFromGuids(LIBID_CalyraLib, 1, 0, LOCALE_USER_DEFAULT, GUID_tagContactInfo, &info), S_OK);
    ULONG size = 0;
    ASSERT_EQ(info->GetSize(&size), S_OK);
    EXPECT_EQ(size, sizeof(tagContactInfo));
    // The registry names the module that carries the library.
    EXPECT_EQ(Value(u"TypeLib\\" + GuidText(LIBID_CalyraLib) + u"\\1.0\\0\\win32"), ModulePath());
}

TEST_F(TypeLibraryTest, VersionsTheLibraryDoesNotHaveAreNotFound) {
    ASSERT_EQ(Register(), S_OK);
    ComPtr<ITypeLib> lib;
    EXPECT_EQ(LoadRegTypeLib(LIBID_CalyraLib, 2, 0, LOCALE_USER_DEFAULT, &lib), TYPE_E_LIBNOTREGISTERED);
    EXPECT_EQ(LoadRegTypeLib(LIBID_CalyraLib, 1, 1, LOCALE_USER_DEFAULT, &lib), TYPE_E_LIBNOTREGISTERED);
    EXPECT_EQ(LoadRegTypeLib(CLSID_PimManagement, 1, 0, LOCALE_USER_DEFAULT, &lib), TYPE_E_LIBNOTREGISTERED);
}
