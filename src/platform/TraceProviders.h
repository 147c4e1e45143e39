// The library's four event-trace providers: registered at library load through
// the system's event-trace functions, one start-up event naming the main
// thread, unregistered at unload. The functions are handed in as a table so
// the same logic runs against the system and against test fakes.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define QOR_STDCALL __stdcall
#else
#define QOR_STDCALL
#endif

namespace qor::platform {

// The system's 128-bit provider identifier, laid out as the system lays it out.
struct TraceGuid {
  std::uint32_t data1;
  std::uint16_t data2;
  std::uint16_t data3;
  std::uint8_t data4[8];
};

// What an event is: id, version, channel, level, opcode, task and keywords.
struct TraceEventDescriptor {
  std::uint16_t id;
  std::uint8_t version;
  std::uint8_t channel;
  std::uint8_t level;
  std::uint8_t opcode;
  std::uint16_t task;
  std::uint64_t keyword;
};

// One field of an event: its address (as a 64-bit number) and byte size.
struct TraceDataDescriptor {
  std::uint64_t address;
  std::uint32_t size;
  std::uint32_t reserved;
};

// Called by the system when a trace session enables or disables a provider;
// isEnabled is 0 (disabled), 1 (enabled) or 2 (capture state: no change).
using TraceEnableCallback = void(QOR_STDCALL*)(const TraceGuid* source, std::uint32_t isEnabled,
                                               std::uint8_t level, std::uint64_t matchAnyKeyword,
                                               std::uint64_t matchAllKeyword, void* filter,
                                               void* context);

// The three event-trace functions, with the system's signatures. A result of
// 0 means success.
struct TraceApi {
  std::uint32_t(QOR_STDCALL* eventRegister)(const TraceGuid* provider, TraceEnableCallback callback,
                                            void* context, std::uint64_t* handle) = nullptr;
  std::uint32_t(QOR_STDCALL* eventWrite)(std::uint64_t handle, const TraceEventDescriptor* event,
                                         std::uint32_t count, TraceDataDescriptor* data) = nullptr;
  std::uint32_t(QOR_STDCALL* eventUnregister)(std::uint64_t handle) = nullptr;
};

class TraceProviders {
 public:
  static constexpr std::size_t kCount = 4;
  // The provider that receives the start-up event naming the main thread.
  static constexpr std::size_t kMainThreadProvider = 1;
  // The text of the start-up event, written with its terminating zero.
  static constexpr char kMainThreadText[] = "Main thread";

  // The fixed identity of provider `index` (0 to 3).
  static const TraceGuid& providerId(std::size_t index);
  // The descriptor of the start-up event.
  static const TraceEventDescriptor& mainThreadEvent();

  constexpr TraceProviders() = default;
  TraceProviders(const TraceProviders&) = delete;
  TraceProviders& operator=(const TraceProviders&) = delete;

  // Registers the four providers through `api` (a table with a missing
  // function registers nothing). When the main-thread provider is enabled
  // once registered, writes one event with `threadId` (4 bytes) and
  // kMainThreadText. Returns how many providers were registered. Calling it
  // again while registered does nothing and returns 0.
  std::size_t registerAll(const TraceApi& api, std::uint32_t threadId);

  // Unregisters every provider registered by registerAll.
  void unregisterAll();

  bool registered(std::size_t index) const { return index < kCount && slots_[index].registered; }
  bool enabled(std::size_t index) const {
    return index < kCount && slots_[index].enabled.load(std::memory_order_acquire);
  }

 private:
  struct Slot {
    std::uint64_t handle = 0;
    bool registered = false;
    // Written by the system's callback, possibly on another thread.
    std::atomic<bool> enabled{false};
  };

  static void QOR_STDCALL onEnable(const TraceGuid* source, std::uint32_t isEnabled,
                                   std::uint8_t level, std::uint64_t matchAnyKeyword,
                                   std::uint64_t matchAllKeyword, void* filter, void* context);

  TraceApi api_{};
  Slot slots_[kCount]{};
};

// The process's own providers, looked up in "Advapi32.dll" and registered at
// library load on Windows; nothing on other systems.
void registerProcessTraceProviders();
void unregisterProcessTraceProviders();

}  // namespace qor::platform
