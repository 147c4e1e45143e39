// The group-tag table: 64 slots of three-character tag names, one per bit of
// a LogGroupMask. Slots 0-7 are predefined; later tags take the next free slot.
#pragma once

#include "logging/LogRecord.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace qor {

constexpr std::size_t kLogGroupSlots = 64;

// The mask of a tag name, compared on its first three characters. A name not
// yet in the table takes the next free slot; when all 64 slots are taken, or
// the name is empty, the mask is 0. Safe to call from any thread.
LogGroupMask logGroupMask(std::string_view tagName);

// The tag of one slot ("???" for a slot not yet defined, "" past the table).
std::string logGroupTag(std::size_t slot);

// The number of defined slots (8 at start).
std::size_t logGroupSlotsDefined();

// The tags of the mask's bits in bit order, joined by ";" ("" for 0).
std::string formatLogGroups(LogGroupMask mask);

}  // namespace qor
