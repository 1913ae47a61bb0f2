// The dispatch tables of the type library's interfaces: one per interface,
// over that interface's own description, with every method's description
// fitting its C++ signature and every name resolving to its slot position.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "idl/calyra_idl.h"
#include "idl/typelib_description.h"
#include "idl/typelib_dispatch.h"
#include "platform/bstr.h"

using calyra::DispatchTable;
using calyra::InterfaceDesc;

namespace {

struct InterfaceTables {
    const char* name;
    const InterfaceDesc* described;
    const DispatchTable* table;
};

const InterfaceTables kInterfaces[] = {
#define CALYRA_INTERFACE_BEGIN(name, guid) \
    {#name, &calyra::InterfaceDescriptionOf<::name>(), &calyra::DispatchTableOf<::name>()},
#include "idl/typelib_expand.h"
};

const DispatchTable& TableNamed(const std::string& name) {
    for (const auto& entry : kInterfaces) {
        if (name == entry.name) return *entry.table;
    }
    throw std::invalid_argument(name);
}

DISPID IdOf(const DispatchTable& table, const std::string& method) {
    std::u16string text = calyra::Utf8ToUtf16(method);
    LPOLESTR names[] = {text.data()};
    DISPID id = 0;
    return SUCCEEDED(table.GetIDsOfNames(IID_NULL, names, 1, &id)) ? id : DISPID_UNKNOWN;
}

TEST(TypeLibDispatch, EveryInterfaceDispatchesOverItsOwnDescription) {
    EXPECT_EQ(std::size(kInterfaces), calyra::CalyraTypeLibDescription().interfaceCount);
    for (const auto& entry : kInterfaces) {
        EXPECT_EQ(entry.table->description, entry.described) << entry.name;
        EXPECT_EQ(entry.table->methodCount, entry.described->methodCount)
            << entry.name << ": a method without an invoker could not be called by automation";
    }
}

TEST(TypeLibDispatch, EveryMethodDescriptionFitsItsSignature) {
    for (const auto& entry : kInterfaces) {
        const InterfaceDesc& iface = *entry.described;
        for (size_t i = 0; i < iface.methodCount; ++i) {
            const calyra::MethodDesc& method = iface.methods[i];
            EXPECT_EQ(method.dispid, static_cast<DISPID>(i + 1)) << entry.name << "::" << method.name;
            EXPECT_TRUE(entry.table->methods[i].matches(method))
                << entry.name << "::" << method.name << " would answer E_UNEXPECTED to every automation call";
            EXPECT_EQ(IdOf(*entry.table, method.name), method.dispid) << entry.name << "::" << method.name;
        }
    }
}

struct KnownDispid {
    const char* iface;
    const char* method;
    DISPID dispid;
};

TEST(TypeLibDispatch, DispidsAreSlotPositionsCountedFromOne) {
    const KnownDispid cases[] = {
        {"IPimDbAccess", "OpenPimDatabase", 1},
        {"IPimDbAccess", "FreeResultset", 10},
        {"IProfileAccess", "ModifyProfileByID", 7},
        {"IContactAccess", "AddContactToContactGroup", 8},
        {"IContactAccess", "GetAddressesByContactID", 14},
        {"IContactAccess", "ModifyIMByID", 38},
        {"IContactAccess", "ExistContact", 40},
        {"ITaskAccess", "GetTaskByID", 10},
        {"IPimManagement", "GetTaskAccess", 14},
        {"IMostFrequentlyPlayedPodcast", "UpdateMostFrequentlyPlayedPodcast", 9},
    };
    for (const KnownDispid& c : cases) {
        EXPECT_EQ(IdOf(TableNamed(c.iface), c.method), c.dispid) << c.iface << "::" << c.method;
    }
    EXPECT_EQ(IdOf(TableNamed("IPimDbAccess"), "openpimdatabase"), 1) << "names ignore ASCII case";
    EXPECT_EQ(IdOf(TableNamed("IPimDbAccess"), "GetTaskAccess"), DISPID_UNKNOWN)
        << "another interface's method is unknown here";
}

TEST(TypeLibDispatch, ParameterNamesCountFromTheErrorId) {
    std::u16string names[] = {u"Query", u"pVM", u"plErrorID", u"bstrSQL", u"plColumn"};
    LPOLESTR pointers[] = {names[0].data(), names[1].data(), names[2].data(), names[3].data(), names[4].data()};
    DISPID ids[5] = {};
    ASSERT_EQ(TableNamed("IPimDbAccess").GetIDsOfNames(IID_NULL, pointers, 5, ids), S_OK);
    EXPECT_EQ(ids[0], 5);
    EXPECT_EQ(ids[1], 4);
    EXPECT_EQ(ids[2], 0);
    EXPECT_EQ(ids[3], 1);
    EXPECT_EQ(ids[4], 3);
}

}  // namespace
