// CoreEntries: the ten entries of the table the validator's core hands a
// plug-in, and the functions it hands out with its responses (release,
// stream read and close). Each finds the calling plug-in's CoreSession (from
// the table pointer, or from the record through the AnswerBook), reaches the
// core through it, and checks every argument it was given: a breach of the
// protocol becomes a violation that fails the running test. A call after
// Stop is a violation; a call after the core is gone is recorded in the
// session and answered with nothing.
#pragma once

#include "PluginAbi.h"
#include "validator/CoreSession.h"

#include <cstdint>

namespace qor::validator {

struct Answer;
class ValidatorCore;

struct CoreEntries {
  // The table every session hands out.
  static PluginCoreApi table();

  // ---- The entries ----
  static void QOR_CDECL sendRequest(const PluginCoreApi* api, CoreResponse* response, const CoreRequest* request);
  static void QOR_CDECL sendExternalRequest(const PluginCoreApi* api, ExternalResponse* response,
                                            const ExternalRequest* request);
  static void QOR_CDECL sendEvent(const PluginCoreApi* api, const CoreEvent* event);
  static void QOR_CDECL subscribe(const PluginCoreApi* api, const char* eventName, void* handle,
                                  CoreEventCallback callback, void* context, std::uint32_t flags);
  static void QOR_CDECL unsubscribe(const PluginCoreApi* api, const char* eventName, void* handle);
  static void QOR_CDECL entry5(const PluginCoreApi* api, std::uint32_t, std::uint32_t, std::uint32_t, double,
                               std::uint32_t);
  static void QOR_CDECL yield(const PluginCoreApi* api);
  static void QOR_CDECL enterWait(const PluginCoreApi* api, const char* label, std::uint32_t zero);
  static void QOR_CDECL leaveWait(const PluginCoreApi* api);
  static void QOR_CDECL log(const PluginCoreApi* api, std::int32_t level, const char* message);

  // ---- Functions the core hands out ----
  static void QOR_CDECL releaseResponse(CoreResponse* response);
  static std::uint8_t QOR_CDECL readStream(void* stream, char* buffer, std::uint32_t* size, std::uint8_t* more);
  static void QOR_CDECL closeStream(void* stream);
  static void QOR_CDECL releaseExternal(ExternalResponse* response);

  // A response that says the core is gone, for a plug-in that asks after it.
  static void answerWithoutCore(CoreResponse* response);

 private:
  // One call of an entry: the calling session and, while the call lasts, its core.
  struct Call {
    CoreSession* session = nullptr;
    CoreSession::CoreAccess core;
    explicit operator bool() const { return static_cast<bool>(core); }
  };
  static Call enter(const PluginCoreApi* api, const char* entry);
  // The core of `owner`, or of the newest session when no owner is known.
  static CoreSession::CoreAccess reach(CoreSession* owner, const char* what);

  static void checkHandle(ValidatorCore& core, CoreSession& session, void* handle, const char* entry);
  // What every request the plug-in sends must be; false when it cannot be answered.
  static bool checkRequest(ValidatorCore& core, CoreSession& session, CoreResponse* response,
                           const CoreRequest* request);
  static bool checkExternalRequest(ValidatorCore& core, ExternalResponse* response, const ExternalRequest* request);
  // What every event the plug-in sends must be.
  static void checkEvent(ValidatorCore& core, const CoreEvent* event);
  static std::uint8_t readChunk(ValidatorCore& core, Answer& answer, char* buffer, std::uint32_t* size,
                                std::uint8_t* more);
};

}  // namespace qor::validator
