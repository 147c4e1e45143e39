// The named-placeholder formatter of request errors.
#include "runtime/RequestError.h"

#include "binding/FormatMessage.h"

#include <algorithm>
#include <vector>

namespace qor {

const std::string* RequestError::field(std::string_view name) const {
  auto it = fields.find(name);
  return it == fields.end() ? nullptr : &it->second;
}

std::string numberPlaceholders(std::string_view tmpl, std::vector<std::string>* names) {
  std::string out;
  out.reserve(tmpl.size());
  std::size_t count = 0;
  for (std::size_t i = 0; i < tmpl.size(); ++i) {
    const char c = tmpl[i];
    if ((c == '{' || c == '}') && i + 1 < tmpl.size() && tmpl[i + 1] == c) {
      out += c;
      ++i;
      continue;
    }
    if (c == '{') {
      const std::size_t close = tmpl.find('}', i + 1);
      if (close == std::string_view::npos) {
        out.append(tmpl.substr(i));
        break;
      }
      ++count;
      if (names) names->emplace_back(tmpl.substr(i + 1, close - i - 1));
      out += '%';
      out += std::to_string(count);
      i = close;
      continue;
    }
    out += c;
  }
  return out;
}

RequestError makeRequestError(std::int32_t code, std::string_view tmpl,
                              std::initializer_list<std::string_view> values) {
  RequestError error;
  error.code = code;
  std::vector<std::string> names;
  const std::string numbered = numberPlaceholders(tmpl, &names);

  // formatMessage takes a fixed argument list: pad the values with empty
  // texts so that every placeholder has one.
  std::vector<std::string_view> v(values.begin(), values.end());
  if (v.size() < names.size()) v.resize(names.size());
  for (std::size_t i = 0; i < names.size(); ++i) error.fields[names[i]] = std::string(v[i]);
  if (code != 0) error.fields["errorCode_int"] = std::to_string(code);

  constexpr std::size_t kMax = 5;
  std::string_view a[kMax] = {};
  for (std::size_t i = 0; i < v.size() && i < kMax; ++i) a[i] = v[i];
  switch (std::min(v.size(), kMax)) {
    case 0: error.message = formatMessage(numbered, {}); break;
    case 1: error.message = formatMessage(numbered, a[0]); break;
    case 2: error.message = formatMessage(numbered, a[0], a[1]); break;
    case 3: error.message = formatMessage(numbered, a[0], a[1], a[2]); break;
    case 4: error.message = formatMessage(numbered, a[0], a[1], a[2], a[3]); break;
    default: error.message = formatMessage(numbered, a[0], a[1], a[2], a[3], a[4]); break;
  }
  return error;
}

}  // namespace qor
