// The object map: one entry per class the module creates, in the order of
// the type library's classes (idl/class_registration.h), each with what the
// module needs to register the class, hand out its class object and create
// its instances.
//
// Adding a class is one line in object_map.cpp naming the C++ class; the
// class's identifier comes from its CComCoClass base and its registration
// from the type library, so a class the library does not list does not
// compile, nor one whose object model cannot serve its registered
// threading model. MakeObjectMap puts the entries in the library's order.
// Entries are constant data; nothing is owned and nothing needs a lock.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <iterator>
#include <span>
#include <type_traits>

#include "comserver/object_root.h"
#include "idl/class_registration.h"
#include "server/class_factory.h"

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

// Whether instances counted and locked with ThreadModel may be called the
// way the registry tells the runtime to call them: only an apartment class
// may do without atomic counts.
template <class ThreadModel>
constexpr bool ServesThreadingModel(ThreadingModel registered) {
    return std::is_same_v<ThreadModel, CComMultiThreadModel> || registered == ThreadingModel::Apartment;
}

}  // namespace object_map_detail

template <class T>
constexpr ObjectMapEntry ObjectEntry() {
    constexpr const CLSID* clsid = object_map_detail::CoClassId(static_cast<const T*>(nullptr));
    constexpr std::size_t index = ClassRegistrationIndex(clsid);
    static_assert(index < std::size(kClassRegistrations), "the type library lists no such class (typelib.def)");
    static_assert(
        object_map_detail::ServesThreadingModel<typename T::ThreadModelType>(kClassRegistrations[index].threadingModel),
        "the class's object model cannot serve the threading model typelib.def registers for it");
    return {clsid, &kClassRegistrations[index], &CreateClassObject<T>, &CreateComInstance<T>,
            &object_map_detail::ObjectMain<T>};
}

// The entries of the classes T..., in the type library's order. A class of
// the library implemented twice stops compilation at the throw.
template <class... T>
constexpr std::array<ObjectMapEntry, sizeof...(T)> MakeObjectMap() {
    std::array<ObjectMapEntry, sizeof...(T)> map = {ObjectEntry<T>()...};
    std::sort(map.begin(), map.end(),
              [](const ObjectMapEntry& a, const ObjectMapEntry& b) { return a.registration < b.registration; });
    for (std::size_t i = 1; i < map.size(); ++i)
        if (map[i - 1].registration == map[i].registration) throw "two C++ classes implement one class of the library";
    return map;
}

// The module's object map.
std::span<const ObjectMapEntry> ObjectMap();

}  // namespace calyra
