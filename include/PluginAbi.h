/*
 * PluginAbi.h - the records exchanged between the core and the inventory
 * plug-in, and the plug-in's one export.
 *
 * Every record is a packed C structure. On a 32-bit target each size and
 * offset is fixed (noted beside each record); on a 64-bit target fields that
 * hold pointers are pointer-sized and every other field keeps its width.
 * This header includes only C headers so that a host written in C can use it.
 */
#ifndef QOR_PLUGIN_ABI_H
#define QOR_PLUGIN_ABI_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define QOR_CDECL __cdecl
#else
#define QOR_CDECL
#endif

#if defined(_WIN32)
#define QOR_EXPORT __declspec(dllexport)
#else
#define QOR_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Protocol vocabulary ------------------------------------------------ */

/* The plug-in API version both sides speak: the plug-in writes it back in the
 * handshake, and a core announcing the same major with an equal or newer
 * minor (and, at an equal minor, an equal or newer patch) is compatible. */
enum {
  CORE_API_VERSION_MAJOR = 18,
  CORE_API_VERSION_MINOR = 0,
  CORE_API_VERSION_PATCH = 0
};

/* Method codes of CoreRequest.method, ExternalRequest.method and
 * ApiFunctionRecord.method. CORE_METHOD_OTHER takes its name from the
 * record's methodName; any value outside 1-8 is sent as 0. */
enum {
  CORE_METHOD_NONE = 0,
  CORE_METHOD_DELETE = 1,
  CORE_METHOD_GET = 2,
  CORE_METHOD_HEAD = 3,
  CORE_METHOD_OPTIONS = 4,
  CORE_METHOD_PATCH = 5,
  CORE_METHOD_POST = 6,
  CORE_METHOD_PUT = 7,
  CORE_METHOD_OTHER = 8
};

/* Type codes of the API description records: typeCode, elementCode and
 * returnCode. CORE_TYPE_VECTOR and CORE_TYPE_MAP name their elements (map
 * keys are strings) in elementCode; CORE_TYPE_ENUM and CORE_TYPE_STRUCT, or
 * an element of those kinds, name the registered type in typeName. */
enum {
  CORE_TYPE_NONE = 0,
  CORE_TYPE_BOOL = 1,
  CORE_TYPE_INT8 = 2,
  CORE_TYPE_UINT8 = 3,
  CORE_TYPE_INT16 = 4,
  CORE_TYPE_UINT16 = 5,
  CORE_TYPE_INT32 = 6,
  CORE_TYPE_UINT32 = 7,
  CORE_TYPE_INT64 = 8,
  CORE_TYPE_UINT64 = 9,
  CORE_TYPE_FLOAT = 10,
  CORE_TYPE_DOUBLE = 11,
  CORE_TYPE_STRING = 12,
  CORE_TYPE_OBJECT = 13, /* any value, unconverted */
  CORE_TYPE_BLOB = 14,
  CORE_TYPE_VECTOR = 15,
  CORE_TYPE_ENUM = 16,
  CORE_TYPE_STRUCT = 17,
  CORE_TYPE_CALLBACK = 18,
  CORE_TYPE_MAP = 19
};

/* Where a routed function's argument is read from:
 * ApiArgumentLocationEntry.location. CORE_LOCATION_ANYWHERE places no
 * restriction; 3 is not used. */
enum {
  CORE_LOCATION_ANYWHERE = 0,
  CORE_LOCATION_QUERY = 1,
  CORE_LOCATION_PATH = 2,
  CORE_LOCATION_HEADER = 4,
  CORE_LOCATION_BODY = 5
};

/* Levels of the core's Log entry (and of the plug-in's log records). */
enum {
  CORE_LOG_OKAY = 0,
  CORE_LOG_WARN = 1,
  CORE_LOG_ERROR = 2,
  CORE_LOG_ALWAYS = 3
};

/* Transport outcomes of ExternalResponse.outcome. Any other value the core
 * writes reads as CORE_OUTCOME_FAILED. */
enum {
  CORE_OUTCOME_CANCELLED = -1,
  CORE_OUTCOME_OK = 0,
  CORE_OUTCOME_FAILED = 1,   /* no answer: refused, bad URL, TLS, read or write error */
  CORE_OUTCOME_TIMED_OUT = 2 /* no connection within the request's timeout */
};

/* CoreResponse.responseKind: a function's result may name one of three
 * kinds, whose meaning lies with the core; anything else is written as
 * CORE_RESPONSE_KIND_NONE. */
enum {
  CORE_RESPONSE_KIND_NONE = 0,
  CORE_RESPONSE_KIND_1 = 1,
  CORE_RESPONSE_KIND_2 = 2,
  CORE_RESPONSE_KIND_3 = 3
};

/* The eventType member of a resource event's payload. */
enum {
  CORE_RESOURCE_CREATE = 0,
  CORE_RESOURCE_UPDATE = 1,
  CORE_RESOURCE_DELETE = 2
};

/* The flags word of Subscribe: resource events, or service-proxy events. */
enum {
  CORE_SUBSCRIBE_RESOURCE = 0,
  CORE_SUBSCRIBE_SERVICE_PROXY = 1
};

#pragma pack(push, 1)

/* ---- Values -------------------------------------------------------------- */

/* Kinds of CoreValue. */
enum {
  CORE_VALUE_EMPTY = 0,
  CORE_VALUE_BOOL = 1,
  CORE_VALUE_SIGNED = 2,
  CORE_VALUE_UNSIGNED = 3,
  CORE_VALUE_DOUBLE = 4,
  CORE_VALUE_STRING_BORROWED = 5,
  CORE_VALUE_STRING_OWNED = 6,
  CORE_VALUE_BLOB_BORROWED = 7,
  CORE_VALUE_BLOB_OWNED = 8,
  CORE_VALUE_ARRAY = 9,
  CORE_VALUE_STRUCT = 10
};

/* A pointer and a 32-bit count: strings (count unused), blobs, arrays and
 * structure member arrays. */
typedef struct CoreBlock {
  void* data;
  uint32_t count;
} CoreBlock;

/* A tagged value crossing the boundary. 12 bytes (32-bit), 16 (64-bit). */
typedef struct CoreValue {
  uint32_t kind;
  union {
    uint8_t boolean;
    int64_t i64;
    uint64_t u64;
    double f64;
    CoreBlock block;
  } u;
} CoreValue;

/* One member of a CORE_VALUE_STRUCT array. 17 bytes (32-bit), 25 (64-bit). */
typedef struct CoreStructMember {
  const char* key;
  CoreValue value;
  uint8_t ownsKey;
} CoreStructMember;

/* One argument of a request. 16 bytes (32-bit), 24 (64-bit). */
typedef struct CoreArgument {
  const char* name; /* null for an unnamed (positional) argument */
  CoreValue value;
} CoreArgument;

/* One header. 8 bytes (32-bit), 16 (64-bit). */
typedef struct CoreHeader {
  const char* name;
  const char* value;
} CoreHeader;

/* ---- Requests -------------------------------------------------------------- */

struct CoreResponse;

/* Reads up to *size bytes of a streamed body; *size is set to the bytes
 * delivered and *more to whether more follow. Returns 0 on a read error. */
typedef uint8_t(QOR_CDECL* CoreStreamReadFn)(void* stream, char* buffer, uint32_t* size,
                                             uint8_t* more);
typedef void(QOR_CDECL* CoreStreamCloseFn)(void* stream);
typedef void(QOR_CDECL* CoreResponseReleaseFn)(struct CoreResponse* response);

/* A request to another plug-in, or a call of one of this plug-in's
 * functions. 48 bytes (32-bit), 80 (64-bit). */
typedef struct CoreRequest {
  uint32_t method;             /* 0  HttpMethod code */
  const char* uri;             /* 1 */
  const CoreArgument* args;    /* 2 */
  uint32_t argCount;           /* 3 */
  const void* callContext;     /* 4  call entry context when the core calls in */
  const CoreHeader* headers;   /* 5 */
  uint32_t headerCount;        /* 6 */
  const char* contentType;     /* 7 */
  const void* body;            /* 8 */
  uint32_t bodySize;           /* 9 */
  void* handle;                /* 10 plug-in handle or caller context */
  const char* methodName;      /* 11 read for method code 8 */
} CoreRequest;

/* The answer to a CoreRequest. 62 bytes (32-bit), 94 (64-bit). */
typedef struct CoreResponse {
  CoreValue body;                /* 0 */
  char* error;                   /* 12 */
  uint8_t hasError;              /* 16 */
  uint8_t flag;                  /* 17 */
  uint32_t responseKind;         /* 18 */
  uint32_t status;               /* 22 */
  char* statusText;              /* 26 */
  CoreHeader* headers;           /* 30 */
  uint32_t headerCount;          /* 34 */
  CoreStreamReadFn read;         /* 38 */
  CoreStreamCloseFn close;       /* 42 */
  uint32_t sizeHint;             /* 46 */
  uint32_t reserved;             /* 50 always 0; part of the record's layout */
  void* stream;                  /* 54 */
  CoreResponseReleaseFn release; /* 58 */
} CoreResponse;

struct ExternalResponse;
typedef void(QOR_CDECL* ExternalResponseReleaseFn)(struct ExternalResponse* response);

/* A request to an outside URL. 32 bytes (32-bit), 44 (64-bit). */
typedef struct ExternalRequest {
  uint32_t method;
  const char* url;
  const CoreHeader* headers;
  uint32_t headerCount;
  const void* body;
  uint32_t bodySize;
  uint32_t setting1;
  uint32_t setting2;
} ExternalRequest;

/* The core's answer to an ExternalRequest. 28 bytes (32-bit), 40 (64-bit). */
typedef struct ExternalResponse {
  int32_t outcome; /* transport outcome: 0 success */
  int32_t status;  /* HTTP status */
  const CoreHeader* headers;
  uint32_t headerCount;
  const void* body;
  uint32_t bodySize;
  ExternalResponseReleaseFn release;
} ExternalResponse;

/* ---- Events -------------------------------------------------------------- */

/* An event sent to or delivered by the core. 24 bytes (32-bit), 36 (64-bit). */
typedef struct CoreEvent {
  const char* name;
  CoreValue payload;
  uint32_t reserved; /* 0 when the plug-in sends */
  void* context;     /* the callback context given to Subscribe */
} CoreEvent;

typedef void(QOR_CDECL* CoreEventCallback)(const CoreEvent* event);

/* ---- The core's function table ------------------------------------------- */

struct PluginCoreApi;
typedef struct PluginCoreApi PluginCoreApi;

/* Ten entries, each taking the table itself first. 40 bytes (32-bit), 80 (64-bit). */
struct PluginCoreApi {
  void(QOR_CDECL* SendRequest)(const PluginCoreApi* api, CoreResponse* response,
                               const CoreRequest* request);
  void(QOR_CDECL* SendExternalRequest)(const PluginCoreApi* api, ExternalResponse* response,
                                       const ExternalRequest* request);
  void(QOR_CDECL* SendEvent)(const PluginCoreApi* api, const CoreEvent* event);
  void(QOR_CDECL* Subscribe)(const PluginCoreApi* api, const char* eventName, void* handle,
                             CoreEventCallback callback, void* context, uint32_t flags);
  void(QOR_CDECL* Unsubscribe)(const PluginCoreApi* api, const char* eventName, void* handle);
  /* Never called by the plug-in; it holds its place in the core's table. */
  void(QOR_CDECL* Entry5)(const PluginCoreApi* api, uint32_t a, uint32_t b, uint32_t c,
                          double d, uint32_t e);
  void(QOR_CDECL* Yield)(const PluginCoreApi* api);
  void(QOR_CDECL* EnterWait)(const PluginCoreApi* api, const char* label, uint32_t zero);
  void(QOR_CDECL* LeaveWait)(const PluginCoreApi* api);
  void(QOR_CDECL* Log)(const PluginCoreApi* api, int32_t level, const char* message);
};

/* Handed to Start; must stay valid until Stop returns. 8 bytes (32-bit), 16 (64-bit). */
typedef struct PluginCoreContext {
  const PluginCoreApi* api;
  void* handle;
} PluginCoreContext;

/* ---- Handshake and lifecycle ------------------------------------------- */

/* 12 bytes (32-bit), 24 (64-bit). */
typedef struct PluginCallbacks {
  uint8_t(QOR_CDECL* Start)(void* plugin, const PluginCoreContext* context);
  void(QOR_CDECL* Stop)(void* plugin);
  void(QOR_CDECL* GetMemoryStats)(void* ignored, uint32_t* words14);
} PluginCallbacks;

struct PluginApiTable;

/* Written by the core (words 0-2) and overwritten by the plug-in.
 * 28 bytes (32-bit), 44 (64-bit). */
typedef struct PluginHandshake {
  uint32_t major;
  uint32_t minor;
  uint32_t patch;
  const PluginCallbacks* callbacks;
  void* plugin;
  const char* shortName;
  const struct PluginApiTable* apiTable;
} PluginHandshake;

/* ---- API description ------------------------------------------------------ */

typedef struct ApiArgumentRecord ApiArgumentRecord;
typedef struct ApiFieldRecord ApiFieldRecord;
typedef struct ApiEnumeratorRecord ApiEnumeratorRecord;
typedef struct ApiTypeRecord ApiTypeRecord;
typedef struct ApiEventRecord ApiEventRecord;
typedef struct ApiFunctionExport ApiFunctionExport;
typedef struct ApiFunctionRecord ApiFunctionRecord;
typedef struct ApiArgumentLocationEntry ApiArgumentLocationEntry;
typedef struct ApiStringListEntry ApiStringListEntry;

/* 25 bytes (32-bit), 41 (64-bit). */
struct ApiArgumentRecord {
  const ApiArgumentRecord* next;
  const char* name;
  const char* description;
  uint32_t typeCode;
  uint32_t elementCode;
  const char* typeName;
  uint8_t optional;
};

/* 29 bytes (32-bit), 45 (64-bit). */
struct ApiFieldRecord {
  const ApiFieldRecord* next;
  const char* name;
  const char* description;
  uint32_t offset;
  uint32_t typeCode;
  uint32_t elementCode;
  const char* typeName;
  uint8_t optional;
};

/* 16 bytes (32-bit), 28 (64-bit). */
struct ApiEnumeratorRecord {
  const ApiEnumeratorRecord* next;
  const char* name;
  const char* description;
  int32_t value;
};

/* 40 bytes (32-bit), 68 (64-bit). */
struct ApiTypeRecord {
  const ApiTypeRecord* next;
  const char* name;
  const char* nameSpace;
  uint32_t size;
  const char* description;
  const char* const* tags;
  uint32_t tagCount;
  const ApiFieldRecord* fields;          /* a structure with fields, else null */
  const ApiEnumeratorRecord* enumerators; /* a type without fields, else null */
  uint32_t count;                        /* fields, or else enumerators */
};

/* 28 bytes (32-bit), 52 (64-bit). */
struct ApiEventRecord {
  const ApiEventRecord* next;
  const char* name;
  const char* nameSpace;
  const char* typeName;
  const char* description;
  const char* const* tags;
  uint32_t tagCount;
};

/* 61 bytes (32-bit), 101 (64-bit). */
struct ApiFunctionExport {
  const void* next;
  uint32_t zero;           /* always 0; part of the record's layout */
  const void* callContext; /* zero in the export; the call entry's context in ApiFunctionRecord */
  const char* name;
  const char* nameSpace;
  const ApiArgumentRecord* arguments;
  uint32_t argumentCount;
  uint32_t returnCode;
  uint32_t returnElementCode;
  const char* returnTypeName;
  const char* description;
  const char* help;
  uint8_t threadSafe;
  const char* asyncTypeName;
  const char* const* tags;
  uint32_t tagCount;
};

/* 8 bytes (32-bit), 12 (64-bit). */
struct ApiArgumentLocationEntry {
  const ApiArgumentLocationEntry* next;
  uint32_t location;
};

/* 12 bytes (32-bit), 20 (64-bit). */
struct ApiStringListEntry {
  const ApiStringListEntry* next;
  const char* const* strings;
  uint32_t count;
};

typedef void(QOR_CDECL* ApiDispatchFn)(CoreResponse* response, const CoreRequest* request);

/* One callable function of the API table. 90 bytes (32-bit), 150 (64-bit). */
struct ApiFunctionRecord {
  ApiFunctionExport head; /* head.next points at the next ApiFunctionRecord */
  ApiDispatchFn dispatch;
  const ApiArgumentLocationEntry* locations;
  const char* uriTemplate;
  uint32_t method;
  uint8_t routeFlag;
  const ApiStringListEntry* stringLists;
  uint32_t stringListCount;
  const char* methodName;
};

/* Three pointer-and-count pairs. 24 bytes (32-bit), 36 (64-bit). */
typedef struct PluginApiTable {
  const ApiFunctionRecord* functions;
  uint32_t functionCount;
  const ApiTypeRecord* types;
  uint32_t typeCount;
  const ApiEventRecord* events;
  uint32_t eventCount;
} PluginApiTable;

#pragma pack(pop)

/* The plug-in's only export. */
QOR_EXPORT void QOR_CDECL load_qor_inventory(PluginHandshake* handshake);

#ifdef __cplusplus
}
#endif

#endif /* QOR_PLUGIN_ABI_H */
