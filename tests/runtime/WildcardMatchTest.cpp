// Matching resource URIs against "*" watch patterns.
#include "runtime/WildcardMatch.h"

#include <gtest/gtest.h>

namespace qor {
namespace {

struct Row {
  const char* pattern;
  const char* uri;
  bool matches;
};

TEST(WildcardMatch, StarTakesOneSegmentAndGivesNothingBack) {
  const Row rows[] = {
      {"/a/*/c", "/a/b/c", true},
      {"/a/*", "/a/b", true},
      {"/a/*", "/a/", false},  // a star takes at least one character
      {"/a/*", "/a", false},
      {"/a/*", "/a/b/c", false},
      {"/a/*c", "/a/bc", false},  // the star also took the c
      {"/a/*/c", "/a//c", false},
      {"/a/*/c", "/a/b/d", false},
      {"/*/*", "/x/y", true},
      {"/*", "/xyz", true},
      {"*", "abc", true},
      {"*", "", false},
      {"/a/b", "/a/b", true},
      {"/a/b", "/a/bc", false},
      {"/a/bc", "/a/b", false},
      {"", "", true},
      {"/a/*/", "/a/b/", true},
  };
  for (const auto& row : rows)
    EXPECT_EQ(wildcardMatch(row.pattern, row.uri), row.matches)
        << row.pattern << " vs " << row.uri;
}

}  // namespace
}  // namespace qor
