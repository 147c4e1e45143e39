// MsgPackReader: an iterative reader driven by a stack of frames, one per
// container being filled plus one for the item being read.
#include "formats/MsgPackReader.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "binding/FormatMessage.h"

namespace qor {
namespace {

// One value being filled. A frame becomes a container frame once its header
// has been read; `count` is the number of items the header announced (keys
// and values for a map) and `index` the number done.
struct Frame {
  explicit Frame(BindingProperty* t) noexcept : target(t) {}

  BindingProperty* target;
  std::uint64_t count = 0;
  std::uint64_t index = 0;
  std::string_view key;  // the last map key, a view into the input
  std::size_t start = 0;  // the offset just after the container header
  bool open = false;      // the container header has been read
};

// Elements set aside at most when a header arrives; beyond that the
// collection grows as elements come.
constexpr std::size_t kMaxReserve = 4096;

class MsgPackParser {
 public:
  MsgPackParser(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  MsgPackReadResult run() {
    MsgPackReadResult out;
    std::vector<Frame> frames;
    frames.reserve(16);
    frames.push_back(Frame{&out.result.value});
    out.result.value.expectStrings(size_ / 48);  // about one distinct string per 48 bytes
    while (pos_ < size_ && !frames.empty()) {
      Frame& top = frames.back();
      if (!top.open) {
        if (!readItem(top, frames.size() - 1)) break;
        if (!top.open) frames.pop_back();  // a scalar: done
        continue;
      }
      if (top.index == top.count) {
        frames.pop_back();
        continue;
      }
      BindingProperty* target;
      if (top.target->kind() == BindingPropertyKind::Collection) {
        target = &top.target->element(static_cast<std::size_t>(top.index));
        ++top.index;
      } else if (top.index % 2 == 0) {
        ++top.index;
        if (!readKey(top.key)) break;
        continue;
      } else {
        ++top.index;
        target = &top.target->member(top.key);
      }
      // The item is read in place; only a container gets a frame of its own.
      if (pos_ == size_) break;
      Frame item{target};
      if (!readItem(item, frames.size())) break;
      if (item.open) frames.push_back(item);
    }
    if (!failed_) {
      // Containers whose last item ended the input are complete; one that
      // still waits for items was cut off.
      while (!frames.empty() && frames.back().open && frames.back().index == frames.back().count) frames.pop_back();
      if (!frames.empty() && frames.back().open) failTruncated(frames.back());
    }
    if (failed_) {
      out.result.setError(error_);
    }
    out.consumed = pos_;
    return out;
  }

 private:
  std::size_t remaining() const noexcept { return size_ - pos_; }

  void fail(std::string message) {
    failed_ = true;
    error_ = std::move(message);
  }

  // The input ended before all the items a container announced.
  void failTruncated(const Frame& frame) {
    const bool isMap = frame.target->kind() == BindingPropertyKind::Structure;
    fail(formatMessage(isMap ? "Invalid MessagePack data. Map of size %1 at position %2 is truncated."
                             : "Invalid MessagePack data. Array of size %1 at position %2 is truncated.",
                       isMap ? frame.count / 2 : frame.count, frame.start));
  }

  // Reads a big-endian number of `width` bytes, or fails with the truncation
  // message for that width.
  bool readNumber(unsigned width, std::uint64_t& value) {
    if (remaining() < width) {
      const char* tmpl = width == 1   ? "Invalid MessagePack data. 8-bit integer value at position %1 is truncated."
                         : width == 2 ? "Invalid MessagePack data. 16-bit integer value at position %1 is truncated."
                         : width == 4 ? "Invalid MessagePack data. 32-bit integer value at position %1 is truncated."
                                      : "Invalid MessagePack data. 64-bit integer value at position %1 is truncated.";
      fail(formatMessage(tmpl, pos_));
      return false;
    }
    std::uint64_t v = 0;
    for (unsigned i = 0; i < width; ++i) v = (v << 8) | data_[pos_ + i];
    pos_ += width;
    value = v;
    return true;
  }

  bool readBytes(std::uint64_t length, std::string_view& bytes, bool isString) {
    if (remaining() < length) {
      fail(formatMessage(isString ? "Invalid MessagePack data. String of size %1 at position %2 is truncated."
                                  : "Invalid MessagePack data. Raw bytes of size %1 at position %2 are truncated.",
                         length, pos_));
      return false;
    }
    bytes = std::string_view(reinterpret_cast<const char*>(data_ + pos_), static_cast<std::size_t>(length));
    pos_ += static_cast<std::size_t>(length);
    return true;
  }

  // The length of a string given its type byte, read from what follows it;
  // false (without failing) when the byte does not start a string.
  bool stringLength(std::uint8_t type, std::uint64_t& length, bool& ok) {
    ok = true;
    if (type >= 0xA0 && type <= 0xBF) {
      length = type & 0x1F;
      return true;
    }
    switch (type) {
      case 0xD9: ok = readNumber(1, length); return true;
      case 0xDA: ok = readNumber(2, length); return true;
      case 0xDB: ok = readNumber(4, length); return true;
      default: return false;
    }
  }

  bool readKey(std::string_view& key) {
    std::uint8_t type = data_[pos_++];
    std::uint64_t length = 0;
    bool ok = true;
    if (!stringLength(type, length, ok)) {
      fail(formatMessage("Invalid MessagePack data at position %1. Map keys must be strings.", pos_));
      return false;
    }
    return ok && readBytes(length, key, true);
  }

  // Makes the frame's target a container announcing `items` items.
  bool openContainer(Frame& frame, std::size_t depth, bool isMap, std::uint64_t entries) {
    if (depth >= kMsgPackMaxDepth) {
      fail(formatMessage("Invalid MessagePack data at position %1. Nesting is too deep.", pos_ - lengthBytes_));
      return false;
    }
    BindingProperty& t = *frame.target;
    if (isMap) {
      t.makeStructure();
      frame.count = entries * 2;
    } else {
      t.makeCollection();
      frame.count = entries;
      // Every element takes at least one byte, so the input bounds what can come.
      std::uint64_t plausible = std::min<std::uint64_t>(entries, remaining());
      std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(plausible, kMaxReserve)) + t.size();
      t.reserve(wanted);
    }
    frame.index = 0;
    frame.start = pos_;
    frame.open = true;
    return true;
  }

  // Reads one item into the frame's target; `depth` is the number of open
  // containers above it.
  bool readItem(Frame& frame, std::size_t depth) {
    std::uint8_t type = data_[pos_++];
    BindingProperty& t = *frame.target;
    std::uint64_t n = 0;
    std::string_view bytes;
    lengthBytes_ = 0;
    if (type <= 0x7F) {
      t.setInt64(type);
      return true;
    }
    if (type >= 0xE0) {
      t.setInt64(static_cast<std::int8_t>(type));
      return true;
    }
    if (type <= 0x8F) return openContainer(frame, depth, true, type & 0x0F);
    if (type <= 0x9F) return openContainer(frame, depth, false, type & 0x0F);
    if (type <= 0xBF) {
      if (!readBytes(type & 0x1F, bytes, true)) return false;
      t.setString(bytes);
      return true;
    }
    switch (type) {
      case 0xC0:
        return true;  // nil leaves the target as it is
      case 0xC2:
        t.setBool(false);
        return true;
      case 0xC3:
        t.setBool(true);
        return true;
      case 0xC4:
      case 0xC5:
      case 0xC6: {
        unsigned width = type == 0xC4 ? 1 : type == 0xC5 ? 2 : 4;
        if (!readNumber(width, n) || !readBytes(n, bytes, false)) return false;
        t.setBlob(bytes.data(), bytes.size());
        return true;
      }
      case 0xCA: {
        if (!readNumber(4, n)) return false;
        std::uint32_t bits = static_cast<std::uint32_t>(n);
        float f;
        std::memcpy(&f, &bits, sizeof f);
        t.setDouble(f);
        return true;
      }
      case 0xCB: {
        if (!readNumber(8, n)) return false;
        double d;
        std::memcpy(&d, &n, sizeof d);
        t.setDouble(d);
        return true;
      }
      case 0xCC:
      case 0xCD:
      case 0xCE:
      case 0xCF:
        if (!readNumber(1u << (type - 0xCC), n)) return false;
        t.setUint64(n);
        return true;
      case 0xD0:
        if (!readNumber(1, n)) return false;
        t.setInt64(static_cast<std::int8_t>(n));
        return true;
      case 0xD1:
        if (!readNumber(2, n)) return false;
        t.setInt64(static_cast<std::int16_t>(n));
        return true;
      case 0xD2:
        if (!readNumber(4, n)) return false;
        t.setInt64(static_cast<std::int32_t>(n));
        return true;
      case 0xD3:
        if (!readNumber(8, n)) return false;
        t.setInt64(static_cast<std::int64_t>(n));
        return true;
      case 0xD9:
      case 0xDA:
      case 0xDB: {
        unsigned width = type == 0xD9 ? 1 : type == 0xDA ? 2 : 4;
        if (!readNumber(width, n) || !readBytes(n, bytes, true)) return false;
        t.setString(bytes);
        return true;
      }
      case 0xDC:
      case 0xDD:
      case 0xDE:
      case 0xDF: {
        unsigned width = (type == 0xDC || type == 0xDE) ? 2 : 4;
        if (!readNumber(width, n)) return false;
        lengthBytes_ = width;
        return openContainer(frame, depth, type >= 0xDE, n);
      }
      default:  // 0xC1, ext 8/16/32 and fixext
        fail(formatMessage("Invalid MessagePack data at position %1.", pos_));
        return false;
    }
  }

  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
  unsigned lengthBytes_ = 0;  // bytes of the container header after its type byte
  bool failed_ = false;
  std::string error_;
};

}  // namespace

MsgPackReadResult readMsgPack(const void* data, std::size_t size) {
  if (data == nullptr || size == 0) return MsgPackReadResult{};
  return MsgPackParser(static_cast<const std::uint8_t*>(data), size).run();
}

}  // namespace qor
