// What the registry says about each class of the type library: its
// programmatic identifiers, description and threading model, expanded from
// the class entries of typelib.def in their order. The module's
// registration scripts write these texts; its object map finds each
// implementing class's entry here.
//
// FROZEN: clients find the classes by these texts and registries keep them
// (see typelib.def). Everything here is constant data; nothing is owned
// and nothing needs a lock.
#pragma once

#include <cstddef>
#include <iterator>

#include "idl/calyra_idl.h"
#include "platform/guid.h"

namespace calyra {

// Which apartments may call a class: "Free" the multithreaded one,
// "Apartment" single-threaded ones only, "Both" either kind.
enum class ThreadingModel { Free, Both, Apartment };

constexpr const char* ThreadingModelName(ThreadingModel model) {
    switch (model) {
        case ThreadingModel::Free:
            return "Free";
        case ThreadingModel::Both:
            return "Both";
        case ThreadingModel::Apartment:
            return "Apartment";
    }
    return "";
}

struct ClassRegistration {
    const CLSID* clsid;
    const char* progID;                    // version-dependent: "Calyra.X.1"
    const char* versionIndependentProgID;  // "Calyra.X"
    const char* description;               // the CLSID and ProgID keys' default value
    ThreadingModel threadingModel;         // InprocServer32's ThreadingModel
};

inline constexpr ClassRegistration kClassRegistrations[] = {
#define CALYRA_COCLASS(name, iface, guid, progID, versionIndependentProgID, description, threading) \
    {&CLSID_##name, progID, versionIndependentProgID, description, ThreadingModel::threading},
#include "idl/typelib_expand.h"
};

// Position of a class in kClassRegistrations, or the table's size when the
// library has no such class. Usable in constant expressions.
constexpr std::size_t ClassRegistrationIndex(const CLSID* clsid) {
    for (std::size_t i = 0; i < std::size(kClassRegistrations); ++i)
        if (kClassRegistrations[i].clsid == clsid) return i;
    return std::size(kClassRegistrations);
}

}  // namespace calyra
