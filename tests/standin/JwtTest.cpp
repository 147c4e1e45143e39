// Tests of HMAC-SHA256, base64url and JWT signing.
#include "standin/Jwt.h"

#include <gtest/gtest.h>

namespace qor::standin {
namespace {

TEST(Jwt, HmacSha256MatchesKnownVectors) {
  // RFC 4231, test cases 1 and 2.
  EXPECT_EQ(toHex(hmacSha256(std::string(20, '\x0b'), "Hi There")),
            "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7");
  EXPECT_EQ(toHex(hmacSha256("Jefe", "what do ya want for nothing?")),
            "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
}

TEST(Jwt, SignsTheWellKnownExampleToken) {
  EXPECT_EQ(signJwt(R"({"alg":"HS256","typ":"JWT"})",
                    R"({"sub":"1234567890","name":"John Doe","iat":1516239022})",
                    "your-256-bit-secret"),
            "eyJhbGciOiJIUzI1NiIsInR5cCI6IkpXVCJ9."
            "eyJzdWIiOiIxMjM0NTY3ODkwIiwibmFtZSI6IkpvaG4gRG9lIiwiaWF0IjoxNTE2MjM5MDIyfQ."
            "SflKxwRJSMeKKF2QT4fwpMeJf36POk6yJV_adQssw5c");
}

TEST(Jwt, Base64UrlRoundTripsEveryLength) {
  const struct {
    const char* plain;
    const char* encoded;
  } rows[] = {{"", ""},        {"f", "Zg"},          {"fo", "Zm8"},
              {"foo", "Zm9v"}, {"foob", "Zm9vYg"},   {"\xfb\xff", "-_8"}};
  for (const auto& row : rows) {
    EXPECT_EQ(base64UrlEncode(row.plain), row.encoded);
    std::string decoded;
    ASSERT_TRUE(base64UrlDecode(row.encoded, decoded)) << row.encoded;
    EXPECT_EQ(decoded, row.plain);
  }
  std::string out;
  EXPECT_FALSE(base64UrlDecode("Zm9v+", out));  // "+" is not URL-safe
  EXPECT_FALSE(base64UrlDecode("Z", out));      // impossible length
}

TEST(Jwt, VerifyAcceptsOwnTokensAndRejectsTampering) {
  const std::string token = signJwt(R"({"sub":"p","exp":5})", "key");
  std::string claims;
  ASSERT_TRUE(verifyJwt(token, "key", &claims));
  EXPECT_EQ(claims, R"({"sub":"p","exp":5})");
  EXPECT_FALSE(verifyJwt(token, "other key"));

  std::string tampered = token;
  const std::size_t dot = tampered.find('.');
  tampered[dot + 2] = tampered[dot + 2] == 'A' ? 'B' : 'A';
  EXPECT_FALSE(verifyJwt(tampered, "key"));
  EXPECT_FALSE(verifyJwt("a.b", "key"));
  EXPECT_FALSE(verifyJwt(token + ".x", "key"));
  // A header that names another algorithm is refused even with a valid MAC.
  EXPECT_FALSE(verifyJwt(signJwt(R"({"alg":"none"})", "{}", "key"), "key"));
}

}  // namespace
}  // namespace qor::standin
