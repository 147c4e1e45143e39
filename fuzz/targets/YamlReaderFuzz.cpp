// yaml_reader: YAML text into a value tree, checked against libyaml's own
// parser on the same bytes: wherever the builder does not stop first with
// one of its own messages, the reader fails exactly when libyaml does, with
// libyaml's problem text and position.
#include <string>
#include <string_view>

#include <yaml.h>

#include "FuzzTargets.h"
#include "binding/FormatMessage.h"
#include "formats/YamlReader.h"
#include "support/FuzzCheck.h"
#include "support/ValueChecks.h"

namespace qor::fuzz {
namespace {

// Runs libyaml's parser over the whole stream: the empty text when it
// reaches the stream's end, else the message the reader makes of its error.
std::string peerVerdict(std::string_view text) {
  yaml_parser_t parser;
  if (!yaml_parser_initialize(&parser)) return "initialize";
  yaml_parser_set_encoding(&parser, YAML_UTF8_ENCODING);
  yaml_parser_set_input_string(&parser, reinterpret_cast<const unsigned char*>(text.data()), text.size());
  std::string verdict;
  for (;;) {
    yaml_event_t event;
    if (!yaml_parser_parse(&parser, &event)) {
      verdict = formatMessage("YAML parser error: %1. At line: %2 col: %3",
                              parser.problem != nullptr ? parser.problem : "", parser.problem_mark.line,
                              parser.problem_mark.column);
      break;
    }
    const bool end = event.type == YAML_STREAM_END_EVENT;
    yaml_event_delete(&event);
    if (end) break;
  }
  yaml_parser_delete(&parser);
  return verdict;
}

}  // namespace

int fuzzYamlReader(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const BindingResult ours = readYaml(input);
  const std::string_view text = input.substr(0, input.find('\0'));
  const std::string verdict = peerVerdict(text);
  const std::string message(ours.errorText());

  if (ours.ok) {
    QOR_FUZZ_CHECK(verdict.empty(), "libyaml fails (" + verdict + ") but the reader accepts " + valueText(ours.value));
    exerciseTree(ours.value, nullptr);
    return 0;
  }
  if (message.rfind("YAML parser error: ", 0) == 0) {
    QOR_FUZZ_CHECK(message == verdict, "reader '" + message + "', libyaml '" + verdict + "'");
    return 0;
  }
  // One of the builder's own messages: it stopped at an event libyaml had
  // delivered, so there is no verdict to compare. The message must be one of
  // the builder's.
  static constexpr std::string_view kBuilderMessages[] = {
      "Multi-document YAML is not supported.", "Invalid mapping key.", "Unexpected start of ",
      "Cannot deserialize cyclic aliases.", "Undefined alias encountered:", "Duplicate occurrence of anchor",
      "Unsupported YAML tag", "YAML document is nested too deeply.", "YAML aliases expand to too many values.",
      "Value ", "Couldn't assign value to 'yaml'"};
  bool known = false;
  for (std::string_view prefix : kBuilderMessages) known = known || message.rfind(prefix, 0) == 0;
  QOR_FUZZ_CHECK(known, "unexpected message '" + message + "'");
  return 0;
}

}  // namespace qor::fuzz
