// Reads the vtable slot a pointer to a virtual member function names. Only for the
// Itanium C++ ABI (g++ and MinGW g++): there such a pointer is {1 + byte offset in the
// vtable, this adjustment}.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__GXX_ABI_VERSION)
#define HALVEX_ITANIUM_MEMBER_POINTERS 1

// -1 when the member function is not virtual.
template <typename MemberFunction>
std::ptrdiff_t VtableSlotOf(MemberFunction memberFunction)
{
    struct ItaniumMemberFunctionPointer
    {
        std::uintptr_t ptr;
        std::ptrdiff_t adj;
    };
    static_assert(sizeof(MemberFunction) == sizeof(ItaniumMemberFunctionPointer), "not an Itanium member pointer");
    ItaniumMemberFunctionPointer raw;
    std::memcpy(&raw, &memberFunction, sizeof(raw));
    if ((raw.ptr & 1u) == 0)
        return -1;
    return static_cast<std::ptrdiff_t>((raw.ptr - 1) / sizeof(void*));
}
#endif

// The function the object's vtable holds at `slot`, as a plain function pointer.
template <typename Function>
Function VtableEntry(const void* object, std::size_t slot)
{
    const void* const* vtable = nullptr;
    std::memcpy(&vtable, object, sizeof(vtable));
    Function function = nullptr;
    std::memcpy(&function, &vtable[slot], sizeof(function));
    return function;
}
