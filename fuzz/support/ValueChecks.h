// ValueChecks: what every reader target does with the tree it got (walk it,
// copy it, send it through the core's value record and back) and the
// comparisons those steps are checked with.
#pragma once

#include <string>

#include "binding/BindingProperty.h"

namespace qor {
class TypeRegistry;
}

namespace qor::fuzz {

// A short rendering for messages (cut after `limit` characters).
std::string valueText(const BindingProperty& value, std::size_t limit = 300);

// True when both trees hold the same kinds, values (floats bit for bit),
// elements and members; otherwise `where` names the first difference.
bool sameValue(const BindingProperty& a, const BindingProperty& b, std::string* where = nullptr);

// Walks every node with the loose readings and look-ups, copies the tree
// (construction, assignment over a non-empty value, move) and converts it to
// a CoreValue and back; each copy must equal the original. Reports findings.
void exerciseTree(const BindingProperty& value, const TypeRegistry* registry);

}  // namespace qor::fuzz
