// GreeterPlugin: registration, the watch and the one function.
#include "GreeterPlugin.h"

#include "dispatch/ApiDispatcher.h"

#include <mutex>

namespace qor::examples {

void GreeterPlugin::RegisterApi() {
  registerEnumeration<GreetingTone>("GreetingTone")
      .value("Plain", GreetingTone::Plain)
      .value("Friendly", GreetingTone::Friendly)
      .value("Formal", GreetingTone::Formal);
  registerRecord<Greeting>("Greeting")
      .field("text", &Greeting::text)
      .field("tone", &Greeting::tone)
      .field("count", &Greeting::count);
  registerEvent<Greeting>(kGreetedEvent, "Sent for every greeting made.");
  dispatcher()
      .registerFunction(HttpMethod::Get, kGreetingUri, this, &GreeterPlugin::greet)
      .queryArgument("name", "Who to greet.")
      .queryArgument("tone", "How to greet: Plain, Friendly or Formal.")
      .description("Greets someone by name.");
}

bool GreeterPlugin::OnStart() {
  Watch<std::string>(std::string(kSalutationUri),
                     [this](const std::string& uri, ResourceEventType type, const std::string& salutation) {
                       onSalutation(uri, type, salutation);
                     });
  return true;
}

void GreeterPlugin::onSalutation(const std::string&, ResourceEventType type, const std::string& salutation) {
  std::lock_guard<platform::Mutex> lock(mutex_);
  salutation_ = type == ResourceEventType::Delete || salutation.empty() ? "Hello" : salutation;
}

FunctionResult<Greeting> GreeterPlugin::greet(std::string name, GreetingTone tone) {
  if (name.empty()) return FunctionResult<Greeting>::fail("Whom should I greet? Give a name.", 400);
  Greeting greeting;
  greeting.tone = tone;
  {
    std::lock_guard<platform::Mutex> lock(mutex_);
    const std::string opening = tone == GreetingTone::Formal ? "Good day" : salutation_;
    greeting.text = opening + ", " + name + (tone == GreetingTone::Friendly ? "!" : ".");
    greeting.count = ++count_;
  }
  // The greeting is the caller's answer whether or not the event went out.
  static_cast<void>(SendEvent(kGreetedEvent, greeting));
  return FunctionResult<Greeting>::ok(std::move(greeting));
}

}  // namespace qor::examples
