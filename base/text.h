// Number formatting used in log lines: hexadecimal lower case without a
// prefix or leading zeros, decimal as usual.
#pragma once

#include <charconv>
#include <cstdint>
#include <string>
#include <type_traits>

namespace zu {

template <class T>
std::string Hex(T value) {
  static_assert(std::is_integral_v<T> || std::is_enum_v<T>);
  // underlying_type is only asked for enums (it has no type for integers).
  using Base = typename std::conditional_t<std::is_enum_v<T>, std::underlying_type<T>, std::type_identity<T>>::type;
  using U = std::make_unsigned_t<Base>;
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, static_cast<U>(value), 16);
  return std::string(buf, r.ptr);
}

template <class T>
std::string Dec(T value) {
  static_assert(std::is_integral_v<T>);
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, r.ptr);
}

}  // namespace zu
