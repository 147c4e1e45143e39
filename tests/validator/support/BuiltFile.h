// The path of a file the build made, for the validator's tests: its build
// path, or (under Wine, which does not map the build machine's paths) the
// same name beside the running test program.
#pragma once

#include "validator/ChildProcess.h"

#include <fstream>
#include <string>

namespace qor::validator {

inline std::string built(const std::string& path) {
  if (std::ifstream(path).good()) return path;
  const std::string self = currentProgramPath(nullptr);
  const std::size_t cut = self.find_last_of("/\\");
  const std::size_t name = path.find_last_of("/\\");
  return self.substr(0, cut + 1) + path.substr(name + 1);
}

}  // namespace qor::validator
