// Replays every input a fuzz campaign ever found (a crash, a hang, a leak, a
// sanitizer report or an oracle difference), kept under
// fuzz/regressions/<target>/, through the same entry function as the
// libFuzzer program, plus a few fixed inputs per target so that every target
// body runs in every build. An oracle difference or broken invariant fails
// the test; a crash ends the test program.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "FuzzRegressionInputs.h"
#include "FuzzTargets.h"
#include "support/FuzzCheck.h"

namespace qor::fuzz {
namespace {

std::vector<std::string>* gFindings = nullptr;

void recordFinding(const std::string& message) { gFindings->push_back(message); }

// Runs one input and returns the findings it raised.
std::vector<std::string> run(const FuzzTarget& target, const unsigned char* data, std::size_t size) {
  std::vector<std::string> findings;
  gFindings = &findings;
  const FindingHandler previous = setFindingHandler(recordFinding);
  target.entry(data, size);
  setFindingHandler(previous);
  gFindings = nullptr;
  return findings;
}

class FuzzRegression : public ::testing::TestWithParam<FuzzTarget> {};

TEST_P(FuzzRegression, KeptInputsStayFixed) {
  const FuzzTarget& target = GetParam();
  int replayed = 0;
  for (const RegressionInput& input : regressionInputs()) {
    if (std::string(input.target) != target.name) continue;
    ++replayed;
    for (const std::string& finding : run(target, input.data, input.size))
      ADD_FAILURE() << input.file << ": " << finding;
  }
  RecordProperty("replayed", replayed);
}

TEST_P(FuzzRegression, FixedInputsRun) {
  const FuzzTarget& target = GetParam();
  const std::string inputs[] = {"", std::string(1, '\0'), "\xff\xff\xff\xff", "{\"a\":[1,-2,3.5,\"x\"]}",
                                "\x82\xa1" "a\x01\xa1" "b\x92\xc3\xc0", "a: [1, b]\n", std::string(64, '\x01')};
  for (const std::string& input : inputs) {
    for (const std::string& finding :
         run(target, reinterpret_cast<const unsigned char*>(input.data()), input.size()))
      ADD_FAILURE() << "input of " << input.size() << " bytes: " << finding;
  }
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzRegression, ::testing::ValuesIn(fuzzTargets().begin(), fuzzTargets().end()),
                         [](const ::testing::TestParamInfo<FuzzTarget>& info) { return std::string(info.param.name); });

TEST(FuzzRegressionFolders, NameKnownTargets) {
  std::set<std::string> unknown;
  for (const RegressionInput& input : regressionInputs())
    if (findFuzzTarget(input.target) == nullptr) unknown.insert(input.target);
  EXPECT_TRUE(unknown.empty()) << "fuzz/regressions/ holds folders of no target, e.g. " << *unknown.begin();
}

}  // namespace
}  // namespace qor::fuzz
