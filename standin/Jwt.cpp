// HMAC-SHA256 signing with OpenSSL, and the JWT compact form.
#include "standin/Jwt.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <nlohmann/json.hpp>

namespace qor::standin {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

int alphabetIndex(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '-') return 62;
  if (c == '_') return 63;
  return -1;
}

}  // namespace

std::string hmacSha256(std::string_view key, std::string_view data) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  static const unsigned char kEmpty = 0;
  const void* keyBytes = key.empty() ? static_cast<const void*>(&kEmpty) : key.data();
  const auto* dataBytes =
      data.empty() ? &kEmpty : reinterpret_cast<const unsigned char*>(data.data());
  if (HMAC(EVP_sha256(), keyBytes, static_cast<int>(key.size()), dataBytes, data.size(), digest,
           &length) == nullptr)
    return {};
  return std::string(reinterpret_cast<const char*>(digest), length);
}

std::string toHex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(bytes.size() * 2);
  for (unsigned char byte : bytes) {
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 15];
  }
  return hex;
}

std::string base64UrlEncode(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const std::uint32_t n = (std::uint32_t(std::uint8_t(bytes[i])) << 16) |
                            (std::uint32_t(std::uint8_t(bytes[i + 1])) << 8) |
                            std::uint8_t(bytes[i + 2]);
    out += kAlphabet[(n >> 18) & 63];
    out += kAlphabet[(n >> 12) & 63];
    out += kAlphabet[(n >> 6) & 63];
    out += kAlphabet[n & 63];
  }
  const std::size_t rest = bytes.size() - i;
  if (rest == 1) {
    const std::uint32_t n = std::uint32_t(std::uint8_t(bytes[i])) << 16;
    out += kAlphabet[(n >> 18) & 63];
    out += kAlphabet[(n >> 12) & 63];
  } else if (rest == 2) {
    const std::uint32_t n = (std::uint32_t(std::uint8_t(bytes[i])) << 16) |
                            (std::uint32_t(std::uint8_t(bytes[i + 1])) << 8);
    out += kAlphabet[(n >> 18) & 63];
    out += kAlphabet[(n >> 12) & 63];
    out += kAlphabet[(n >> 6) & 63];
  }
  return out;
}

bool base64UrlDecode(std::string_view text, std::string& out) {
  out.clear();
  if (text.size() % 4 == 1) return false;
  std::uint32_t buffer = 0;
  int bits = 0;
  for (char c : text) {
    const int index = alphabetIndex(c);
    if (index < 0) return false;
    buffer = (buffer << 6) | static_cast<std::uint32_t>(index);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out += static_cast<char>((buffer >> bits) & 0xFF);
    }
  }
  return true;
}

std::string signJwt(std::string_view headerJson, std::string_view claimsJson,
                    std::string_view key) {
  std::string token = base64UrlEncode(headerJson);
  token += '.';
  token += base64UrlEncode(claimsJson);
  const std::string signature = hmacSha256(key, token);
  token += '.';
  token += base64UrlEncode(signature);
  return token;
}

std::string signJwt(std::string_view claimsJson, std::string_view key) {
  return signJwt(R"({"alg":"HS256","typ":"JWT"})", claimsJson, key);
}

bool verifyJwt(std::string_view token, std::string_view key, std::string* claimsJson) {
  const std::size_t first = token.find('.');
  if (first == std::string_view::npos) return false;
  const std::size_t second = token.find('.', first + 1);
  if (second == std::string_view::npos || token.find('.', second + 1) != std::string_view::npos)
    return false;
  std::string header;
  std::string claims;
  std::string signature;
  if (!base64UrlDecode(token.substr(0, first), header) ||
      !base64UrlDecode(token.substr(first + 1, second - first - 1), claims) ||
      !base64UrlDecode(token.substr(second + 1), signature))
    return false;
  const auto parsedHeader = nlohmann::json::parse(header, nullptr, false);
  if (!parsedHeader.is_object()) return false;
  const auto alg = parsedHeader.find("alg");
  if (alg == parsedHeader.end() || !alg->is_string() || alg->get_ref<const std::string&>() != "HS256")
    return false;
  const std::string expected = hmacSha256(key, token.substr(0, second));
  if (expected.size() != signature.size() ||
      CRYPTO_memcmp(expected.data(), signature.data(), expected.size()) != 0)
    return false;
  if (claimsJson != nullptr) *claimsJson = std::move(claims);
  return true;
}

}  // namespace qor::standin
