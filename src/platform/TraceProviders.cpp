// Registration of the event-trace providers and the start-up event, over a
// table of the system's event-trace functions.
#include "platform/TraceProviders.h"

namespace qor::platform {
namespace {

constexpr TraceGuid kProviderIds[TraceProviders::kCount] = {
    {0x4c1e8a53, 0x7d20, 0x4b6f, {0x9a, 0x31, 0x5e, 0x02, 0xc7, 0x68, 0x1d, 0xb4}},
    {0x0b97f2e6, 0x3a45, 0x4e81, {0xb2, 0x6c, 0x19, 0xd4, 0x70, 0xaf, 0x3e, 0x58}},
    {0xd5306c1f, 0x92b8, 0x4a07, {0x85, 0xe3, 0x6b, 0x41, 0x0f, 0x9c, 0x27, 0xda}},
    {0x7a6b4d92, 0xe153, 0x4c3a, {0xa4, 0x0e, 0xf8, 0x27, 0x5b, 0x93, 0xc6, 0x01}},
};

// An informational event (level 4) with id 1.
constexpr TraceEventDescriptor kMainThreadEvent{1, 0, 0, 4, 0, 0, 0};

constexpr std::uint32_t kControlDisable = 0;
constexpr std::uint32_t kControlEnable = 1;

}  // namespace

const TraceGuid& TraceProviders::providerId(std::size_t index) {
  return kProviderIds[index < kCount ? index : 0];
}

const TraceEventDescriptor& TraceProviders::mainThreadEvent() { return kMainThreadEvent; }

void QOR_STDCALL TraceProviders::onEnable(const TraceGuid*, std::uint32_t isEnabled, std::uint8_t,
                                          std::uint64_t, std::uint64_t, void*, void* context) {
  auto* slot = static_cast<Slot*>(context);
  if (!slot) return;
  // Capture-state requests and unknown codes leave the state as it was.
  if (isEnabled == kControlEnable) slot->enabled.store(true, std::memory_order_release);
  if (isEnabled == kControlDisable) slot->enabled.store(false, std::memory_order_release);
}

std::size_t TraceProviders::registerAll(const TraceApi& api, std::uint32_t threadId) {
  if (!api.eventRegister || !api.eventWrite || !api.eventUnregister) return 0;
  for (const Slot& slot : slots_)
    if (slot.registered) return 0;
  api_ = api;
  std::size_t count = 0;
  for (std::size_t i = 0; i < kCount; ++i) {
    Slot& slot = slots_[i];
    slot.enabled.store(false, std::memory_order_relaxed);
    std::uint64_t handle = 0;
    // A session that already listens enables the provider from inside the
    // registration call, through the callback.
    if (api_.eventRegister(&kProviderIds[i], &TraceProviders::onEnable, &slot, &handle) != 0) continue;
    slot.handle = handle;
    slot.registered = true;
    ++count;
  }
  if (enabled(kMainThreadProvider)) {
    std::uint32_t id = threadId;
    TraceDataDescriptor data[2] = {
        {static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(&id)), sizeof id, 0},
        {static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(kMainThreadText)),
         sizeof kMainThreadText, 0},
    };
    api_.eventWrite(slots_[kMainThreadProvider].handle, &kMainThreadEvent, 2, data);
  }
  return count;
}

void TraceProviders::unregisterAll() {
  for (Slot& slot : slots_) {
    if (!slot.registered) continue;
    api_.eventUnregister(slot.handle);
    slot.registered = false;
    slot.handle = 0;
    slot.enabled.store(false, std::memory_order_release);
  }
}

}  // namespace qor::platform
