// Which taper and display delegates are the module's own. A parameter takes a new delegate by its
// base interface (slots 40 and 41) and must know whether the object is one of ours, of its own
// value type, before it may use it as such. Reading type information from an object built
// elsewhere (a host built with another compiler lays it out differently) could crash, so the
// module's delegates register themselves instead: each holds an AAX_CDelegateRegistration from
// construction to destruction, and a parameter looks the object up.
#pragma once

#include <cstdint>
#include <type_traits>

#include "interfaces/aax_parameter.h"

class AAX_CDelegateRegistration {
public:
    // [any] Registers taper, from the delegate's own constructor (copies included).
    template <typename T>
    explicit AAX_CDelegateRegistration(AAX_ITaperDelegate<T>* taper) noexcept
        : AAX_CDelegateRegistration(static_cast<AAX_ITaperDelegateBase*>(taper), taper, Kind<T>(kTaper)) {}
    // [any] Registers display, likewise.
    template <typename T>
    explicit AAX_CDelegateRegistration(AAX_IDisplayDelegate<T>* display) noexcept
        : AAX_CDelegateRegistration(static_cast<AAX_IDisplayDelegateBase*>(display), display, Kind<T>(kDisplay)) {}
    // [any]
    ~AAX_CDelegateRegistration();
    AAX_CDelegateRegistration(const AAX_CDelegateRegistration&) = delete;
    AAX_CDelegateRegistration& operator=(const AAX_CDelegateRegistration&) = delete;

    // [any] The module's own live taper of value type T at that address, or null for any other
    // object. Linear in the number of live delegates; takes the registry's lock.
    template <typename T>
    static AAX_ITaperDelegate<T>* FindTaper(const AAX_ITaperDelegateBase& taper) noexcept {
        return static_cast<AAX_ITaperDelegate<T>*>(Find(&taper, Kind<T>(kTaper)));
    }
    // [any] Likewise for a display.
    template <typename T>
    static AAX_IDisplayDelegate<T>* FindDisplay(const AAX_IDisplayDelegateBase& display) noexcept {
        return static_cast<AAX_IDisplayDelegate<T>*>(Find(&display, Kind<T>(kDisplay)));
    }

private:
    static constexpr int32_t kTaper = 0;
    static constexpr int32_t kDisplay = 16;
    // The role and the value type in one number.
    template <typename T>
    static constexpr int32_t Kind(int32_t role) {
        if constexpr (std::is_same_v<T, float>) return role + 1;
        if constexpr (std::is_same_v<T, bool>) return role + 2;
        if constexpr (std::is_same_v<T, double>) return role + 3;
        if constexpr (std::is_same_v<T, int32_t>) return role + 4;
        return role + 15;
    }

    AAX_CDelegateRegistration(const void* base, void* typed, int32_t kind) noexcept;
    static void* Find(const void* base, int32_t kind) noexcept;

    const void* base_;
    void* typed_;
    int32_t kind_;
    AAX_CDelegateRegistration* previous_ = nullptr;
    AAX_CDelegateRegistration* next_ = nullptr;
};
