// The inputs kept under fuzz/regressions/<target>/, built into the test
// program (see fuzz/CMakeLists.txt).
#pragma once

#include <cstddef>
#include <span>

namespace qor::fuzz {

struct RegressionInput {
  const char* target;  // the folder: the fuzz target's name
  const char* file;    // target/file name, for messages
  const unsigned char* data;
  std::size_t size;
};

std::span<const RegressionInput> regressionInputs();

}  // namespace qor::fuzz
