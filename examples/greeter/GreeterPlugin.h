// GreeterPlugin: the smallest plug-in worth writing, built on the framework
// alone. It serves one function, GET "/qor-greeter/v1/greeting" with the
// arguments "name" and "tone", whose result is a Greeting record; it watches
// the resource "/qor-greeter/v1/salutation" (the word greetings begin with);
// and it sends the event "OnQorGreeterGreeted" with every greeting it makes.
#pragma once

#include "dispatch/FunctionResult.h"
#include "platform/Mutex.h"
#include "runtime/PluginBase.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace qor::examples {

enum class GreetingTone : std::int32_t { Plain = 0, Friendly = 1, Formal = 2 };

struct Greeting {
  std::string text;
  GreetingTone tone = GreetingTone::Plain;
  std::uint32_t count = 0;  // greetings made since the plug-in started
};

inline constexpr std::string_view kGreeterShortName = "qor-greeter";
inline constexpr std::string_view kGreetingUri = "/qor-greeter/v1/greeting";
inline constexpr std::string_view kSalutationUri = "/qor-greeter/v1/salutation";
inline constexpr std::string_view kGreetedEvent = "OnQorGreeterGreeted";

class GreeterPlugin final : public PluginBase {
 public:
  // The records, the event and the function.
  void RegisterApi() override;
  // Watches the salutation.
  bool OnStart() override;

  // "Hello, Ada." (or "Hello, Ada!" when friendly, "Good day, Ada." when
  // formal); an empty name is refused with 400.
  FunctionResult<Greeting> greet(std::string name, GreetingTone tone);

 private:
  void onSalutation(const std::string& uri, ResourceEventType type, const std::string& salutation);

  // Function calls and resource events come on different core threads.
  platform::Mutex mutex_;
  std::string salutation_ = "Hello";
  std::uint32_t count_ = 0;
};

}  // namespace qor::examples
