// TypeCheck: whether a value a plug-in hands out fits the type its API table
// declares for it (a function's result, an event's payload).
#pragma once

#include "PluginAbi.h"
#include "validator/ApiModel.h"

#include <string>

namespace qor::validator {

// "" when `value` fits `type`, else what does not and where ("$.items[2]:
// string for int32"). Structures may leave fields out but may hold no
// member that is not a field; enumerations travel as an enumerator's name
// (or, for an enumeration the table does not describe, as a number).
std::string checkValueAgainstType(const CoreValue& value, const TypeRefModel& type, const ApiModel& model);

}  // namespace qor::validator
