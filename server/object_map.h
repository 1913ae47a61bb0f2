// The object map: one entry per class the module creates, in the order of
// the class registration table, each with what the module needs to
// register the class, hand out its class object and create its instances.
//
// Adding a class is one line in object_map.cpp, ObjectEntry<CClass>(); the
// class's identifier comes from its CComCoClass base and its registration
// texts from class_registration.h, so a class without registration data
// does not compile. Entries are constant data; nothing is owned and
// nothing needs a lock.
#pragma once

#include <cstddef>
#include <iterator>
#include <span>

#include "platform/object_root.h"
#include "server/class_factory.h"
#include "server/class_registration.h"

namespace calyra {

struct ObjectMapEntry {
    const CLSID* clsid;
    const ClassRegistration* registration;  // the class script's texts
    HRESULT (*createClassObject)(REFIID riid, void** ppv);
    HRESULT (*createInstance)(IUnknown* pUnkOuter, REFIID riid, void** ppv);
    // Class-level start (true, when the module loads) and end (false, when
    // it unloads).
    void (*objectMain)(bool starting);
};

namespace object_map_detail {

template <class T, const CLSID* pclsid>
constexpr const CLSID* CoClassId(const CComCoClass<T, pclsid>*) {
    return pclsid;
}

// Runs T::ObjectMain when the class has one.
template <class T>
void ObjectMain(bool starting) {
    if constexpr (requires { T::ObjectMain(starting); }) T::ObjectMain(starting);
}

}  // namespace object_map_detail

template <class T>
constexpr ObjectMapEntry ObjectEntry() {
    constexpr const CLSID* clsid = object_map_detail::CoClassId(static_cast<const T*>(nullptr));
    constexpr std::size_t index = ClassRegistrationIndex(clsid);
    static_assert(index < std::size(kClassRegistrations), "the class has no entry in kClassRegistrations");
    return {clsid, &kClassRegistrations[index], &CreateClassObject<T>, &CreateComInstance<T>,
            &object_map_detail::ObjectMain<T>};
}

// True when the entries follow the registration table's order.
constexpr bool InRegistrationOrder(std::span<const ObjectMapEntry> map) {
    for (std::size_t i = 1; i < map.size(); ++i)
        if (ClassRegistrationIndex(map[i - 1].clsid) >= ClassRegistrationIndex(map[i].clsid)) return false;
    return true;
}

// The module's object map.
std::span<const ObjectMapEntry> ObjectMap();

}  // namespace calyra
