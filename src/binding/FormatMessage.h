// formatMessage: the formatter behind every user-visible message. A template
// holds numbered placeholders ("%1", "%2") that insert an argument in its
// natural form, or "%N$" printf specifications for full control.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>

namespace qor {

namespace detail {
template <typename T>
inline constexpr bool IsExtraSignedInteger =
    (std::is_same_v<T, long> || std::is_same_v<T, long long>) &&
    !std::is_same_v<T, std::int32_t> && !std::is_same_v<T, std::int64_t>;
template <typename T>
inline constexpr bool IsExtraUnsignedInteger =
    (std::is_same_v<T, unsigned long> || std::is_same_v<T, unsigned long long>) &&
    !std::is_same_v<T, std::uint32_t> && !std::is_same_v<T, std::uint64_t>;
}  // namespace detail

// One argument of formatMessage: a reference to the value and its type.
// The referenced value must outlive the formatMessage call.
class MessageArgument {
 public:
  enum class Type : std::uint8_t { CString, StdString, Int32, Int64, UInt64, Double };

  MessageArgument(const char* v) noexcept : type_(Type::CString) { v_.s = v; }
  MessageArgument(const std::string& v) noexcept : type_(Type::StdString), view_(v) {}
  MessageArgument(std::string_view v) noexcept : type_(Type::StdString), view_(v) {}
  MessageArgument(std::int32_t v) noexcept : type_(Type::Int32) { v_.i32 = v; }
  MessageArgument(std::int64_t v) noexcept : type_(Type::Int64) { v_.i64 = v; }
  MessageArgument(std::uint32_t v) noexcept : type_(Type::UInt64) { v_.u64 = v; }
  MessageArgument(std::uint64_t v) noexcept : type_(Type::UInt64) { v_.u64 = v; }
  // long and long long where they are not the fixed-width types above (long
  // is 32 bits on some targets, long long is a distinct type on others).
  template <typename T>
    requires(detail::IsExtraSignedInteger<T>)
  MessageArgument(T v) noexcept : type_(Type::Int64) { v_.i64 = static_cast<std::int64_t>(v); }
  template <typename T>
    requires(detail::IsExtraUnsignedInteger<T>)
  MessageArgument(T v) noexcept : type_(Type::UInt64) { v_.u64 = static_cast<std::uint64_t>(v); }
  MessageArgument(double v) noexcept : type_(Type::Double) { v_.d = v; }

  Type type() const noexcept { return type_; }
  // The text of a string argument (a null CString reads as "").
  std::string_view text() const noexcept;
  std::int64_t asInt64() const noexcept;    // Int32, Int64
  std::uint64_t asUInt64() const noexcept;  // UInt64
  double asDouble() const noexcept;         // Double

 private:
  Type type_;
  union {
    const char* s;
    std::int32_t i32;
    std::int64_t i64;
    std::uint64_t u64;
    double d;
  } v_{};
  std::string_view view_{};
};

// Formats the template with the arguments. Never fails: a placeholder that
// cannot be satisfied ends the output early. The result is at most 4095 bytes.
std::string formatMessage(std::string_view tmpl, std::initializer_list<MessageArgument> args);

template <typename... Args>
std::string formatMessage(std::string_view tmpl, const Args&... args) {
  return formatMessage(tmpl, std::initializer_list<MessageArgument>{MessageArgument(args)...});
}

}  // namespace qor
