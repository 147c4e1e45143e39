// HMAC-SHA256 and the compact JSON Web Token form that the local inventory
// service signs its inventories with.
#pragma once

#include <string>
#include <string_view>

namespace qor::standin {

// The raw 32-byte HMAC-SHA256 of `data` under `key`.
std::string hmacSha256(std::string_view key, std::string_view data);
std::string toHex(std::string_view bytes);

std::string base64UrlEncode(std::string_view bytes);
// False for text outside the URL-safe alphabet or of an impossible length.
bool base64UrlDecode(std::string_view text, std::string& out);

// "<b64url(header)>.<b64url(claims)>.<b64url(HMAC-SHA256 of the first two parts)>".
// The header and claims texts are signed exactly as given.
std::string signJwt(std::string_view headerJson, std::string_view claimsJson, std::string_view key);
// The standard header {"alg":"HS256","typ":"JWT"}.
std::string signJwt(std::string_view claimsJson, std::string_view key);

// Checks the signature (in constant time) and that the header names HS256;
// on success stores the decoded claims text.
bool verifyJwt(std::string_view token, std::string_view key, std::string* claimsJson = nullptr);

}  // namespace qor::standin
