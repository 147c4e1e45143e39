// formatMessage: a positional printf. Every argument is read through its
// MessageArgument, so no template can make the formatter read past the
// arguments it was given or pass printf a value of the wrong size.
#include "binding/FormatMessage.h"

#include <cstddef>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace qor {

std::string_view MessageArgument::text() const noexcept {
  switch (type_) {
    case Type::CString:
      return v_.s ? std::string_view(v_.s) : std::string_view();
    case Type::StdString:
      return view_;
    default:
      return {};
  }
}

std::int64_t MessageArgument::asInt64() const noexcept {
  switch (type_) {
    case Type::Int32:
      return v_.i32;
    case Type::Int64:
      return v_.i64;
    case Type::UInt64:
      return static_cast<std::int64_t>(v_.u64);
    default:
      return 0;
  }
}

std::uint64_t MessageArgument::asUInt64() const noexcept {
  switch (type_) {
    case Type::Int32:
      return static_cast<std::uint64_t>(static_cast<std::int64_t>(v_.i32));
    case Type::Int64:
      return static_cast<std::uint64_t>(v_.i64);
    case Type::UInt64:
      return v_.u64;
    default:
      return 0;
  }
}

double MessageArgument::asDouble() const noexcept {
  return type_ == Type::Double ? v_.d : 0.0;
}

namespace {

constexpr std::size_t kOutputLimit = 4095;  // a 4096-byte area, terminated
constexpr std::size_t kSpecLimit = 60;      // longest printf conversion text after "%"
// Widths and precisions are clamped here. The bound is far enough above the
// output limit that the bytes kept are the same as with the unclamped value.
constexpr int kFieldLimit = 16384;

enum class Length : std::uint8_t { None, hh, h, l, ll, j, z, t, L };

struct Spec {
  char flags[8] = {};  // each of "-+ #0" at most once
  std::size_t flagCount = 0;
  bool hasWidth = false;
  int width = 0;
  bool hasPrecision = false;
  int precision = 0;
  Length length = Length::None;
  char conversion = 0;
};

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool isFlag(char c) {
  return c == '-' || c == '+' || c == ' ' || c == '#' || c == '0';
}

const char* acceptedConversions(MessageArgument::Type type) {
  switch (type) {
    case MessageArgument::Type::CString:
    case MessageArgument::Type::StdString:
      return "s";
    case MessageArgument::Type::Int32:
    case MessageArgument::Type::Int64:
      return "dcioxX";
    case MessageArgument::Type::UInt64:
      return "ucdioxX";
    case MessageArgument::Type::Double:
      return "gaefGAEF";
  }
  return "s";
}

bool usableAsStar(MessageArgument::Type type) {
  return type == MessageArgument::Type::Int32 || type == MessageArgument::Type::Int64 ||
         type == MessageArgument::Type::UInt64;
}

int clampField(std::int64_t v) {
  if (v > kFieldLimit) return kFieldLimit;
  if (v < -kFieldLimit) return -kFieldLimit;
  return static_cast<int>(v);
}

// Appends to the output, never past the limit.
class Output {
 public:
  Output() { text_.reserve(256); }
  bool full() const { return text_.size() >= kOutputLimit; }
  void append(const char* p, std::size_t n) {
    std::size_t room = kOutputLimit - text_.size();
    text_.append(p, n < room ? n : room);
  }
  void append(char c) {
    if (!full()) text_.push_back(c);
  }
  void pad(std::size_t n) {
    std::size_t room = kOutputLimit - text_.size();
    text_.append(n < room ? n : room, ' ');
  }
  std::string take() { return std::move(text_); }

 private:
  std::string text_;
};

class Formatter {
 public:
  Formatter(std::string_view tmpl, std::initializer_list<MessageArgument> args)
      : t_(tmpl), args_(args.begin()), argc_(args.size()) {}

  std::string run() {
    while (pos_ < t_.size() && !out_.full()) {
      char c = t_[pos_];
      if (c != '%') {
        out_.append(c);
        ++pos_;
        continue;
      }
      if (!placeholder()) break;
    }
    return out_.take();
  }

 private:
  bool more() const { return pos_ < t_.size(); }
  char peek() const { return pos_ < t_.size() ? t_[pos_] : '\0'; }

  // Reads decimal digits, saturating well above any meaningful field size.
  std::size_t readNumber() {
    std::size_t n = 0;
    while (more() && isDigit(t_[pos_])) {
      if (n < 100000) n = n * 10 + static_cast<std::size_t>(t_[pos_] - '0');
      ++pos_;
    }
    return n;
  }

  bool specTooLong() const { return pos_ - specStart_ > kSpecLimit; }

  // Handles the text at pos_ == '%'. Returns false when formatting must end.
  bool placeholder() {
    specStart_ = pos_;
    ++pos_;
    if (!more()) return false;  // a lone '%' at the end has no conversion
    if (peek() == '%') {
      out_.append('%');
      ++pos_;
      return true;
    }
    Spec spec;
    std::size_t argIndex = 0;  // 1-based; 0 while unknown
    if (peek() >= '1' && peek() <= '9') {
      std::size_t digitsAt = pos_;
      std::size_t n = readNumber();
      if (n <= argc_) {
        if (peek() == '$') {
          ++pos_;
          argIndex = n;
        } else {
          writeDefault(args_[n - 1]);
          return true;
        }
      } else {
        pos_ = digitsAt;  // no such argument: the digits are a width
      }
    }
    while (more() && isFlag(peek()) && !specTooLong()) addFlag(spec, t_[pos_++]);
    if (!readField(spec.hasWidth, spec.width)) return false;
    if (spec.hasWidth && spec.width < 0) {
      addFlag(spec, '-');
      spec.width = -spec.width;
    }
    if (peek() == '.') {
      ++pos_;
      if (!readField(spec.hasPrecision, spec.precision)) return false;
      if (!spec.hasPrecision) {
        spec.hasPrecision = true;  // "." alone means precision 0
        spec.precision = 0;
      } else if (spec.precision < 0) {
        spec.hasPrecision = false;  // a negative precision is as if omitted
      }
    }
    readLength(spec);
    if (!more() || specTooLong()) return false;
    spec.conversion = t_[pos_++];
    if (specTooLong()) return false;

    if (argIndex == 0) {
      if (next_ >= argc_) return false;
      argIndex = ++next_;
    }
    if (spec.conversion == 'n') return true;  // counts nothing, writes nothing
    writeSpec(args_[argIndex - 1], spec);
    return true;
  }

  static void addFlag(Spec& spec, char f) {
    if (std::memchr(spec.flags, f, spec.flagCount) == nullptr && spec.flagCount < 5)
      spec.flags[spec.flagCount++] = f;
  }

  // A width or precision: digits, or '*' optionally followed by "N$".
  bool readField(bool& has, int& value) {
    if (peek() == '*') {
      ++pos_;
      std::size_t index;
      if (isDigit(peek())) {
        std::size_t n = readNumber();
        if (peek() != '$' || n == 0 || n > argc_) return false;
        ++pos_;
        index = n;
      } else {
        if (next_ >= argc_) return false;
        index = ++next_;
      }
      if (specTooLong()) return false;
      const MessageArgument& a = args_[index - 1];
      if (!usableAsStar(a.type())) return false;
      std::int64_t v = a.type() == MessageArgument::Type::UInt64
                           ? (a.asUInt64() > static_cast<std::uint64_t>(kFieldLimit)
                                  ? kFieldLimit
                                  : static_cast<std::int64_t>(a.asUInt64()))
                           : a.asInt64();
      has = true;
      value = clampField(v);
      return true;
    }
    if (isDigit(peek())) {
      std::size_t n = readNumber();
      if (specTooLong()) return false;
      has = true;
      value = clampField(n > static_cast<std::size_t>(kFieldLimit)
                             ? kFieldLimit
                             : static_cast<std::int64_t>(n));
    }
    return true;
  }

  void readLength(Spec& spec) {
    switch (peek()) {
      case 'h':
        ++pos_;
        if (peek() == 'h') {
          ++pos_;
          spec.length = Length::hh;
        } else {
          spec.length = Length::h;
        }
        break;
      case 'l':
        ++pos_;
        if (peek() == 'l') {
          ++pos_;
          spec.length = Length::ll;
        } else {
          spec.length = Length::l;
        }
        break;
      case 'j':
        ++pos_;
        spec.length = Length::j;
        break;
      case 'z':
        ++pos_;
        spec.length = Length::z;
        break;
      case 't':
        ++pos_;
        spec.length = Length::t;
        break;
      case 'L':
        ++pos_;
        spec.length = Length::L;
        break;
      default:
        break;
    }
  }

  void writeDefault(const MessageArgument& a) {
    Spec spec;
    spec.conversion = acceptedConversions(a.type())[0];
    writeSpec(a, spec);
  }

  void writeSpec(const MessageArgument& a, Spec spec) {
    const char* accepted = acceptedConversions(a.type());
    if (spec.conversion == '\0' || std::strchr(accepted, spec.conversion) == nullptr)
      spec.conversion = accepted[0];
    switch (a.type()) {
      case MessageArgument::Type::CString:
      case MessageArgument::Type::StdString:
        writeString(a.text(), spec);
        return;
      case MessageArgument::Type::Double:
        writeDouble(a.asDouble(), spec);
        return;
      case MessageArgument::Type::Int32:
      case MessageArgument::Type::Int64:
      case MessageArgument::Type::UInt64:
        writeInteger(a, spec);
        return;
    }
  }

  void writeString(std::string_view s, const Spec& spec) {
    // The text stops at an embedded NUL, as a C string would.
    if (std::size_t nul = s.find('\0'); nul != std::string_view::npos) s = s.substr(0, nul);
    if (spec.hasPrecision && static_cast<std::size_t>(spec.precision) < s.size())
      s = s.substr(0, static_cast<std::size_t>(spec.precision));
    std::size_t padding = spec.hasWidth && static_cast<std::size_t>(spec.width) > s.size()
                              ? static_cast<std::size_t>(spec.width) - s.size()
                              : 0;
    bool left = std::memchr(spec.flags, '-', spec.flagCount) != nullptr;
    if (!left) out_.pad(padding);
    out_.append(s.data(), s.size());
    if (left) out_.pad(padding);
  }

  // Builds "%<flags><width>.<precision><length><conversion>" for snprintf.
  static void buildFormat(char* fmt, const Spec& spec, const char* length, char conversion) {
    char* p = fmt;
    *p++ = '%';
    for (std::size_t i = 0; i < spec.flagCount; ++i) *p++ = spec.flags[i];
    if (spec.hasWidth) p += std::snprintf(p, 8, "%d", spec.width);
    if (spec.hasPrecision) p += std::snprintf(p, 9, ".%d", spec.precision);
    while (*length) *p++ = *length++;
    *p++ = conversion;
    *p = '\0';
  }

  template <typename T>
  void print(const char* fmt, T value) {
    char buf[kOutputLimit + 1];
    int n = std::snprintf(buf, sizeof buf, fmt, value);
    if (n <= 0) return;
    std::size_t len = static_cast<std::size_t>(n) < sizeof buf ? static_cast<std::size_t>(n)
                                                               : sizeof buf - 1;
    out_.append(buf, len);
  }

  void writeDouble(double d, const Spec& spec) {
    char fmt[32];
    if (spec.length == Length::L) {
      buildFormat(fmt, spec, "L", spec.conversion);
      print(fmt, static_cast<long double>(d));
    } else {
      buildFormat(fmt, spec, "", spec.conversion);
      print(fmt, d);
    }
  }

  void writeInteger(const MessageArgument& a, const Spec& spec) {
    char fmt[32];
    char conv = spec.conversion;
    if (conv == 'c') {
      // A character: the low byte of the value. A zero byte would end a C
      // string early, so it writes nothing.
      auto ch = static_cast<unsigned char>(a.asUInt64() & 0xFFu);
      if (ch == 0) return;
      buildFormat(fmt, spec, "", 'c');
      print(fmt, static_cast<int>(ch));
      return;
    }
    const bool isSigned = conv == 'd' || conv == 'i';
    const std::uint64_t bits = a.asUInt64();
    Length length = spec.length;
    if (length == Length::None && a.type() != MessageArgument::Type::Int32)
      length = Length::ll;  // 64-bit values print all 64 bits by default
    // Each case passes exactly the type its length modifier announces.
    switch (length) {
      case Length::None:
        buildFormat(fmt, spec, "", conv);
        if (isSigned)
          print(fmt, static_cast<int>(static_cast<std::int32_t>(bits)));
        else
          print(fmt, static_cast<unsigned>(static_cast<std::uint32_t>(bits)));
        return;
      case Length::hh:
        buildFormat(fmt, spec, "hh", conv);
        if (isSigned)
          print(fmt, static_cast<int>(static_cast<signed char>(bits)));
        else
          print(fmt, static_cast<unsigned>(static_cast<unsigned char>(bits)));
        return;
      case Length::h:
        buildFormat(fmt, spec, "h", conv);
        if (isSigned)
          print(fmt, static_cast<int>(static_cast<short>(bits)));
        else
          print(fmt, static_cast<unsigned>(static_cast<unsigned short>(bits)));
        return;
      case Length::l:
        buildFormat(fmt, spec, "l", conv);
        if (isSigned)
          print(fmt, static_cast<long>(bits));
        else
          print(fmt, static_cast<unsigned long>(bits));
        return;
      case Length::ll:
      case Length::L:  // L on an integer is read as ll
        buildFormat(fmt, spec, "ll", conv);
        if (isSigned)
          print(fmt, static_cast<long long>(bits));
        else
          print(fmt, static_cast<unsigned long long>(bits));
        return;
      case Length::j:
        buildFormat(fmt, spec, "j", conv);
        if (isSigned)
          print(fmt, static_cast<std::intmax_t>(bits));
        else
          print(fmt, static_cast<std::uintmax_t>(bits));
        return;
      case Length::z:
        buildFormat(fmt, spec, "z", conv);
        if (isSigned)
          print(fmt, static_cast<std::make_signed_t<std::size_t>>(bits));
        else
          print(fmt, static_cast<std::size_t>(bits));
        return;
      case Length::t:
        buildFormat(fmt, spec, "t", conv);
        if (isSigned)
          print(fmt, static_cast<std::ptrdiff_t>(bits));
        else
          print(fmt, static_cast<std::make_unsigned_t<std::ptrdiff_t>>(bits));
        return;
    }
  }

  std::string_view t_;
  const MessageArgument* args_;
  std::size_t argc_;
  std::size_t pos_ = 0;
  std::size_t specStart_ = 0;
  std::size_t next_ = 0;  // arguments taken in sequence so far
  Output out_;
};

}  // namespace

std::string formatMessage(std::string_view tmpl, std::initializer_list<MessageArgument> args) {
  return Formatter(tmpl, args).run();
}

}  // namespace qor
