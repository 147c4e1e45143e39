// BenchInputs: generators of the reader benchmarks' documents and a small
// block-style YAML emitter (nlohmann has no YAML writer).
#include "BenchInputs.h"

#include <cstdio>

namespace qor::bench {
namespace {

using Json = nlohmann::json;

// A fixed linear congruential sequence, so every run parses the same bytes.
class Sequence {
 public:
  std::uint32_t next() {
    state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<std::uint32_t>(state_ >> 33);
  }
  std::uint32_t below(std::uint32_t n) { return next() % n; }

 private:
  std::uint64_t state_ = 0x2545F4914F6CDD1Dull;
};

std::string isoDate(Sequence& seq) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "2026-%02u-%02uT%02u:%02u:%02u.%03uZ", 1 + seq.below(12), 1 + seq.below(28),
                seq.below(24), seq.below(60), seq.below(60), seq.below(1000));
  return buf;
}

std::string uuid(Sequence& seq) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%08x-%04x-%04x-%04x-%04x%08x", seq.next(), seq.below(0x10000),
                seq.below(0x10000), seq.below(0x10000), seq.below(0x10000), seq.next());
  return buf;
}

std::string jwtLike(Sequence& seq, std::size_t length) {
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
  std::string s = "eyJhbGciOiJSUzI1NiJ9.";
  while (s.size() < length) s += kAlphabet[seq.below(64)];
  return s;
}

void appendYamlString(std::string& out, const std::string& s) {
  out += '"';
  for (unsigned char c : s) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\x%02X", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += '"';
}

void appendYamlScalar(std::string& out, const Json& v) {
  switch (v.type()) {
    case Json::value_t::null: out += "~"; break;
    case Json::value_t::boolean: out += v.get<bool>() ? "true" : "false"; break;
    case Json::value_t::string: appendYamlString(out, v.get_ref<const std::string&>()); break;
    case Json::value_t::array: out += "[]"; break;   // only empty ones arrive here
    case Json::value_t::object: out += "{}"; break;  // likewise
    default: out += v.dump(); break;                 // numbers
  }
}

bool isNonEmptyContainer(const Json& v) { return (v.is_array() || v.is_object()) && !v.empty(); }

void appendYaml(std::string& out, const Json& v, std::size_t indent) {
  const std::string pad(indent, ' ');
  if (v.is_object()) {
    for (auto it = v.begin(); it != v.end(); ++it) {
      out += pad;
      appendYamlString(out, it.key());
      out += ':';
      if (isNonEmptyContainer(*it)) {
        out += '\n';
        appendYaml(out, *it, indent + 2);
      } else {
        out += ' ';
        appendYamlScalar(out, *it);
        out += '\n';
      }
    }
  } else if (v.is_array()) {
    for (const Json& e : v) {
      out += pad;
      out += '-';
      if (isNonEmptyContainer(e)) {
        out += '\n';
        appendYaml(out, e, indent + 2);
      } else {
        out += ' ';
        appendYamlScalar(out, e);
        out += '\n';
      }
    }
  } else {
    out += pad;
    appendYamlScalar(out, v);
    out += '\n';
  }
}

Json nestedValue(Sequence& seq, int depth) {
  std::uint32_t pick = depth >= 6 ? seq.below(6) : seq.below(8);
  switch (pick) {
    case 0: return Json(nullptr);
    case 1: return Json(seq.below(2) == 1);
    case 2: return Json(static_cast<std::int64_t>(seq.next()) - 2147483648ll);
    case 3: return Json(seq.next() / 1000.0);
    case 4: return Json(static_cast<std::uint64_t>(seq.next()) * 4099u);
    case 5: return Json("text-" + std::to_string(seq.next()) + (seq.below(4) == 0 ? " with \"quotes\"\n" : ""));
    case 6: {
      Json a = Json::array();
      for (std::uint32_t i = 0, n = seq.below(8); i < n; ++i) a.push_back(nestedValue(seq, depth + 1));
      return a;
    }
    default: {
      Json o = Json::object();
      for (std::uint32_t i = 0, n = seq.below(8); i < n; ++i)
        o["key" + std::to_string(seq.below(50))] = nestedValue(seq, depth + 1);
      return o;
    }
  }
}

}  // namespace

Json inventoryResponse(std::size_t items) {
  static const char* const kTypes[] = {"EMOTE", "GEAR", "SPRAY", "TITLE", "PLAYER_CARD"};
  Sequence seq;
  Json byType = Json::object();
  for (std::size_t i = 0; i < items; ++i) {
    const char* type = kTypes[i % 5];
    Json item = {
        {"itemId", static_cast<std::int32_t>(seq.below(2000000))},
        {"inventoryType", type},
        {"expirationDate", isoDate(seq)},
        {"purchaseDate", isoDate(seq)},
        {"quantity", static_cast<std::uint64_t>(1 + seq.below(3))},
        {"usedInGameDate", isoDate(seq)},
        {"entitlementId", uuid(seq)},
        {"eneitlementTypeId", uuid(seq)},
        {"instanceId", uuid(seq)},
        {"instanceTypeId", seq.below(3) == 0 ? "" : "skin"},
        {"f2p", seq.below(5) == 0},
        {"rental", seq.below(7) == 0},
        {"lsb", false},
        {"wins", static_cast<std::uint64_t>(seq.below(500))},
    };
    byType[type].push_back(std::move(item));
  }
  Json data = {{"puuid", uuid(seq)},          {"accountId", 2234567890123ull}, {"summonerId", 98765432ull},
               {"items", std::move(byType)},  {"expires", isoDate(seq)},       {"itemsJwt", jwtLike(seq, 600)}};
  return Json{{"data", std::move(data)}};
}

Json nestedDocument(std::size_t bytes) {
  Sequence seq;
  Json root = Json::object();
  std::size_t size = 0;
  for (int i = 0; size < bytes; ++i) {
    Json group = Json::array();
    for (int k = 0; k < 16; ++k) group.push_back(nestedValue(seq, 1));
    size += group.dump().size();
    root["group" + std::to_string(i)] = std::move(group);
  }
  return root;
}

std::string toYaml(const Json& tree) {
  std::string out;
  if (isNonEmptyContainer(tree)) {
    appendYaml(out, tree, 0);
  } else {
    appendYamlScalar(out, tree);
    out += '\n';
  }
  return out;
}

const std::vector<BenchDocument>& benchDocuments() {
  static const std::vector<BenchDocument> documents = [] {
    std::vector<BenchDocument> docs;
    auto add = [&](std::string name, Json tree) {
      BenchDocument d;
      d.name = std::move(name);
      d.json = tree.dump();
      d.msgpack = Json::to_msgpack(tree);
      d.yaml = toYaml(tree);
      d.tree = std::move(tree);
      docs.push_back(std::move(d));
    };
    add("inventory_10", inventoryResponse(10));
    add("inventory_1000", inventoryResponse(1000));
    add("inventory_20000", inventoryResponse(20000));
    add("nested_1mb", nestedDocument(1 << 20));
    return docs;
  }();
  return documents;
}

}  // namespace qor::bench
