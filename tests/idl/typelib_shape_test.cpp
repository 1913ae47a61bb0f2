// The shape of the type library as compiled clients and scripts see it:
// the calling convention every method follows, and a frozen fingerprint of
// every interface (method order = DISPIDs, parameter names, directions and
// automation types), record (field order and types) and enumeration
// (names and values). That DISPIDs are slot positions and that dispatch
// reaches each method is swept over live objects in
// tests/access/every_interface_test.cpp.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>

#include "idl/typelib_description.h"

namespace calyra {
namespace {

// Rules every method obeys: plErrorID first as an in/out LONG*, at most one
// RetVal and only as the last parameter, and every record or interface form
// says which record or interface it carries.
TEST(TypeLibInterfaces, EveryMethodFollowsTheCallingConvention) {
    const TypeLibDesc& lib = CalyraTypeLibDescription();
    for (size_t i = 0; i < lib.interfaceCount; ++i) {
        const InterfaceDesc& iface = *lib.interfaces[i];
        EXPECT_EQ(FindInterfaceDescription(*iface.iid), &iface);
        for (size_t m = 0; m < iface.methodCount; ++m) {
            const MethodDesc& method = iface.methods[m];
            SCOPED_TRACE(std::string(iface.name) + "::" + method.name);
            EXPECT_EQ(FindMethodDescription(iface, method.dispid), &method);
            ASSERT_GE(method.paramCount, 1u);
            EXPECT_STREQ(method.params[0].name, "plErrorID");
            EXPECT_EQ(method.params[0].dir, ParamDir::InOut);
            EXPECT_EQ(method.params[0].vt, VT_I4 | VT_BYREF);
            for (size_t p = 0; p < method.paramCount; ++p) {
                const ParamDesc& param = method.params[p];
                if (param.dir == ParamDir::RetVal) {
                    EXPECT_EQ(p, method.paramCount - 1) << param.name << " is a retval but not the last parameter";
                    EXPECT_NE(param.vt & VT_BYREF, 0) << param.name;
                }
                if ((param.vt & VT_TYPEMASK) == VT_RECORD) {
                    EXPECT_NE(param.record, nullptr) << param.name;
                }
                if ((param.vt & VT_TYPEMASK) == VT_DISPATCH) {
                    ASSERT_NE(param.iid, nullptr) << param.name;
                    EXPECT_NE(FindInterfaceDescription(*param.iid), nullptr) << param.name;
                }
            }
        }
        EXPECT_EQ(FindMethodDescription(iface, 0), nullptr);
        EXPECT_EQ(FindMethodDescription(iface, static_cast<DISPID>(iface.methodCount + 1)), nullptr);
    }
    EXPECT_EQ(FindInterfaceDescription(IID_IDispatch), nullptr);
}

// ---- Frozen shape ---------------------------------------------------------------

std::string Dump(const InterfaceDesc& iface) {
    std::string text;
    for (size_t m = 0; m < iface.methodCount; ++m) {
        const MethodDesc& method = iface.methods[m];
        text += std::to_string(method.dispid) + " " + method.name + "(";
        for (size_t p = 0; p < method.paramCount; ++p) {
            const ParamDesc& param = method.params[p];
            text += std::to_string(static_cast<int>(param.dir)) + ":" + std::to_string(param.vt) + ":" + param.name;
            if (param.record) text += std::string(":") + param.record->name;
            if (param.iid) text += std::string(":") + FindInterfaceDescription(*param.iid)->name;
            text += ",";
        }
        text += ");\n";
    }
    return text;
}
std::string Dump(const RecordDesc& record) {
    std::string text;
    for (size_t f = 0; f < record.fieldCount; ++f) {
        const FieldDesc& field = record.fields[f];
        text += std::string(field.name) + ":" + std::to_string(field.vt) +
                (field.record ? std::string(":") + field.record->name : std::string()) + ";";
    }
    return text;
}
std::string Dump(const EnumDesc& enumeration) {
    std::string text;
    for (size_t v = 0; v < enumeration.valueCount; ++v)
        text += std::string(enumeration.values[v].name) + "=" + std::to_string(enumeration.values[v].value) + ";";
    return text;
}

uint64_t Fingerprint(const std::string& text) {
    uint64_t hash = 0xcbf29ce484222325u;  // FNV-1a
    for (unsigned char c : text) hash = (hash ^ c) * 0x100000001b3u;
    return hash;
}

// FROZEN: compiled clients call methods by vtable slot and scripts by
// DISPID, and both lay out records and store enumeration values as
// published. A changed fingerprint means such a client now reaches another
// method, field or value; only a new library version may change one.
TEST(TypeLibShape, EveryInterfaceRecordAndEnumerationKeepsItsPublishedShape) {
    const std::map<std::string, uint64_t> pinned = {
        {"IContactAccess", 0x1d5ddaeb7c568486u},
        {"IContactGroupAccess", 0xdba3c19f792361dbu},
        {"IEventAccess", 0xa20015112bc4a46du},
        {"IEventCategoryAccess", 0x8bc2d9aec1edd071u},
        {"IMostFrequentlyPlayedMusic", 0xf60a3e71650f0f69u},
        {"IMostFrequentlyPlayedPodcast", 0xb10574b1f310b4deu},
        {"IPimDbAccess", 0x6395f2d0660da3c9u},
        {"IPimManagement", 0xa503169707c2a90du},
        {"IProfileAccess", 0xa9b34fd6832f8987u},
        {"ISyncOption", 0x4439ea3ffe222e34u},
        {"ITaskAccess", 0xfe3f9242ff769f24u},
        {"enumAvailability", 0x151b9c1b6e9e645du},
        {"enumEventCategory", 0x04d6852cb5173460u},
        {"enumEventPriority", 0x2ac048634c9e7a47u},
        {"enumEventStatus", 0xc6c7208b09269416u},
        {"enumLocationType", 0xcf63ca9059a1b23bu},
        {"enumPhoneNumberType", 0xa1447862eccd5291u},
        {"enumRecurrenceEnd", 0xae2cea9ef5d7f1eau},
        {"enumRecurrencePattern", 0x9ac9998f849f8de2u},
        {"enumSuffix", 0x80774eded6f4c3f7u},
        {"enumSyncGroupOption", 0xe8284f01b8480966u},
        {"enumTaskCategory", 0xf304f03e90730f51u},
        {"enumTaskPriority", 0x5107dc471f524504u},
        {"enumTaskStatus", 0xd7d9a72948c70ce7u},
        {"enumTitle", 0x8e17f88e63c492d0u},
        {"tagAddress", 0x21e7d02574039f59u},
        {"tagContactGroupInfo", 0xe5fbe11dc28f337eu},
        {"tagContactInfo", 0x5825f7be205135cfu},
        {"tagDailyRecurrence", 0x9e368db138b11f6eu},
        {"tagEmail", 0xc08604e9fde33e7eu},
        {"tagEventCategoryInfo", 0x58ac09ecc23862deu},
        {"tagEventInfo", 0x05d9f03db62bbadcu},
        {"tagIM", 0x452f9c40c5ea6d58u},
        {"tagMonthlyRecurrence", 0x4cc87ded8e636893u},
        {"tagMostFrequentlyPlayedMusic", 0x3263a8cc74df300fu},
        {"tagMostFrequentlyPlayedPodcast", 0x392fffa4b5d1db2bu},
        {"tagPhoneNumber", 0x58c824d98e623874u},
        {"tagProfileInfo", 0xb5967a0a2a151937u},
        {"tagRecurrence", 0xf98b5775e63c51a1u},
        {"tagSyncAlbumItem", 0xedbcd8359c7f09a0u},
        {"tagSyncOptions", 0xbfd50aa12c2d40c6u},
        {"tagSyncedAlbumItem", 0x23edb1311da8272cu},
        {"tagTaskInfo", 0xd49c3756d84987b1u},
        {"tagWebUrl", 0x0c2c0174b012efeeu},
        {"tagWeeklyRecurrence", 0xd6d0043129383cdfu},
        {"tagYearlyRecurrence", 0x9d2829960bb47fa2u},
    };
    const TypeLibDesc& lib = CalyraTypeLibDescription();
    std::map<std::string, std::string> shapes;
    for (size_t i = 0; i < lib.interfaceCount; ++i) shapes[lib.interfaces[i]->name] = Dump(*lib.interfaces[i]);
    for (size_t i = 0; i < lib.recordCount; ++i) shapes[lib.records[i]->name] = Dump(*lib.records[i]);
    for (size_t i = 0; i < lib.enumCount; ++i) shapes[lib.enums[i]->name] = Dump(*lib.enums[i]);
    EXPECT_EQ(shapes.size(), pinned.size()) << "a type was added or removed";
    for (const auto& [name, shape] : shapes) {
        auto it = pinned.find(name);
        EXPECT_TRUE(it != pinned.end() && it->second == Fingerprint(shape))
            << name << " no longer has its published shape (fingerprint 0x" << std::hex << Fingerprint(shape)
            << "); it now reads:\n"
            << shape;
    }
}

}  // namespace
}  // namespace calyra
