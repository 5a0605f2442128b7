// Single values that one thread writes and another reads, kept as plain members
// of value types (the program's records are copied, saved and compared whole).
//
// Each access is one relaxed atomic load or store of the whole value: on our
// processors the same instruction as a plain aligned access, but defined when
// another thread reads or writes the same value at the same time, so that
// ThreadSanitizer sees no race. Members of classes that are never copied whole
// use std::atomic instead.
#pragma once

#include <type_traits>

template <class T> T relaxedLoad(const T& value) {
    static_assert(std::is_trivially_copyable<T>::value && sizeof(T) <= 8, "a single value");
    T result;
    __atomic_load(&value, &result, __ATOMIC_RELAXED);
    return result;
}

template <class T> void relaxedStore(T& value, T newValue) {
    static_assert(std::is_trivially_copyable<T>::value && sizeof(T) <= 8, "a single value");
    __atomic_store(&value, &newValue, __ATOMIC_RELAXED);
}
