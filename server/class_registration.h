// What the registry says about each creatable class of the component: its
// programmatic identifiers, description and threading model, and the
// module's application identifier.
//
// FROZEN: clients find the classes by these texts and identifiers, and
// registries keep them; the table follows the order of the type library's
// classes. Everything here is constant data; nothing is owned and nothing
// needs a lock.
#pragma once

#include <cstddef>
#include <iterator>

#include "idl/calyra_idl.h"
#include "platform/guid.h"

namespace calyra {

struct ClassRegistration {
    const CLSID* clsid;
    const char* progID;                    // version-dependent: "Calyra.X.1"
    const char* versionIndependentProgID;  // "Calyra.X"
    const char* description;               // the CLSID and ProgID keys' default value
    const char* threadingModel;            // InprocServer32's ThreadingModel
};

inline constexpr ClassRegistration kClassRegistrations[] = {
    {&CLSID_PimManagement, "Calyra.PimManagement.1", "Calyra.PimManagement", "PimManagement Class", "Free"},
    // The profile class's identifiers carry the class prefix, unlike all others.
    {&CLSID_ProfileAccess, "Calyra.CProfileAccess.1", "Calyra.CProfileAccess", "CProfileAccess Class", "Free"},
    {&CLSID_PimDbAccess, "Calyra.PimDbAccess.1", "Calyra.PimDbAccess", "PimDbAccess Class", "Free"},
    {&CLSID_ContactGroupAccess, "Calyra.ContactGroupAccess.1", "Calyra.ContactGroupAccess",
     "ContactGroupAccess Class", "Free"},
    {&CLSID_EventCategoryAccess, "Calyra.EventCategoryAccess.1", "Calyra.EventCategoryAccess",
     "EventCategoryAccess Class", "Free"},
    {&CLSID_EventAccess, "Calyra.EventAccess.1", "Calyra.EventAccess", "EventAccess Class", "Free"},
    {&CLSID_TaskAccess, "Calyra.TaskAccess.1", "Calyra.TaskAccess", "TaskAccess Class", "Free"},
    {&CLSID_ContactAccess, "Calyra.ContactAccess.1", "Calyra.ContactAccess", "ContactAccess Class", "Free"},
    {&CLSID_SyncOption, "Calyra.SyncOption.1", "Calyra.SyncOption", "SyncOption Class", "Both"},
    {&CLSID_MostFrequentlyPlayedMusic, "Calyra.MostFrequentlyPlayedMusic.1", "Calyra.MostFrequentlyPlayedMusic",
     "MostFrequentlyPlayedMusic Class", "Both"},
    {&CLSID_MostFrequentlyPlayedPodcast, "Calyra.MostFrequentlyPlayedPodcast.1",
     "Calyra.MostFrequentlyPlayedPodcast", "MostFrequentlyPlayedPodcast Class", "Apartment"},
};

// Position of a class in kClassRegistrations, or the table's size when the
// class has no registration. Usable in constant expressions.
constexpr std::size_t ClassRegistrationIndex(const CLSID* clsid) {
    for (std::size_t i = 0; i < std::size(kClassRegistrations); ++i)
        if (kClassRegistrations[i].clsid == clsid) return i;
    return std::size(kClassRegistrations);
}

// The module's application identifier {2EADF5A4-8DCE-4C78-A870-8289427A5975}.
inline constexpr GUID kCalyraAppID = {0x2eadf5a4, 0x8dce, 0x4c78, {0xa8, 0x70, 0x82, 0x89, 0x42, 0x7a, 0x59, 0x75}};

// The application key's name and default value.
inline constexpr const char* kCalyraModuleName = "Calyra.DLL";
inline constexpr const char* kCalyraAppName = "Calyra";

}  // namespace calyra
