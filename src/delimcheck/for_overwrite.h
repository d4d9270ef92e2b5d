// An array left uninitialised, for buffers that are written before they are read: what
// std::make_unique_for_overwrite gives, where the standard library has it (libc++ 14 has not).
#pragma once

#include <cstddef>
#include <memory>
#include <type_traits>

namespace delimcheck {

template <class T> std::unique_ptr<T> make_for_overwrite(std::size_t n)
{
    static_assert(std::is_unbounded_array_v<T>);
#if defined(__cpp_lib_smart_ptr_for_overwrite)
    return std::make_unique_for_overwrite<T>(n);
#else
    return std::unique_ptr<T>(new std::remove_extent_t<T>[n]);
#endif
}

} // namespace delimcheck
