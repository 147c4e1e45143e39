// Pins the size and offset of every record exchanged with the core, so that a
// build whose records drift from what hosts are compiled against fails here.
#include "PluginAbi.h"

#include <cstddef>

#define QOR_AT(T, f, off) static_assert(offsetof(T, f) == (off), #T "." #f " offset")
#define QOR_SIZE(T, s32, s64) \
  static_assert(sizeof(T) == (sizeof(void*) == 4 ? (s32) : (s64)), #T " size")

QOR_SIZE(CoreValue, 12, 16);
QOR_SIZE(CoreStructMember, 17, 25);
QOR_SIZE(CoreArgument, 16, 24);
QOR_SIZE(CoreHeader, 8, 16);
QOR_SIZE(CoreRequest, 48, 80);
QOR_SIZE(CoreResponse, 62, 94);
QOR_SIZE(ExternalRequest, 32, 44);
QOR_SIZE(ExternalResponse, 28, 40);
QOR_SIZE(CoreEvent, 24, 36);
QOR_SIZE(PluginCoreApi, 40, 80);
QOR_SIZE(PluginCoreContext, 8, 16);
QOR_SIZE(PluginCallbacks, 12, 24);
QOR_SIZE(PluginHandshake, 28, 44);
QOR_SIZE(PluginApiTable, 24, 36);
QOR_SIZE(ApiFunctionExport, 61, 101);
QOR_SIZE(ApiFunctionRecord, 90, 150);
QOR_SIZE(ApiArgumentRecord, 25, 41);
QOR_SIZE(ApiFieldRecord, 29, 45);
QOR_SIZE(ApiEnumeratorRecord, 16, 28);
QOR_SIZE(ApiTypeRecord, 40, 68);
QOR_SIZE(ApiEventRecord, 28, 52);
QOR_SIZE(ApiArgumentLocationEntry, 8, 12);
QOR_SIZE(ApiStringListEntry, 12, 20);

#if UINTPTR_MAX == 0xFFFFFFFFu
QOR_AT(CoreValue, u, 4);
QOR_AT(CoreStructMember, value, 4);
QOR_AT(CoreStructMember, ownsKey, 16);
QOR_AT(CoreArgument, value, 4);
QOR_AT(CoreRequest, uri, 4);
QOR_AT(CoreRequest, args, 8);
QOR_AT(CoreRequest, argCount, 12);
QOR_AT(CoreRequest, callContext, 16);
QOR_AT(CoreRequest, headers, 20);
QOR_AT(CoreRequest, headerCount, 24);
QOR_AT(CoreRequest, contentType, 28);
QOR_AT(CoreRequest, body, 32);
QOR_AT(CoreRequest, bodySize, 36);
QOR_AT(CoreRequest, handle, 40);
QOR_AT(CoreRequest, methodName, 44);
QOR_AT(CoreResponse, error, 12);
QOR_AT(CoreResponse, hasError, 16);
QOR_AT(CoreResponse, flag, 17);
QOR_AT(CoreResponse, responseKind, 18);
QOR_AT(CoreResponse, status, 22);
QOR_AT(CoreResponse, statusText, 26);
QOR_AT(CoreResponse, headers, 30);
QOR_AT(CoreResponse, headerCount, 34);
QOR_AT(CoreResponse, read, 38);
QOR_AT(CoreResponse, close, 42);
QOR_AT(CoreResponse, sizeHint, 46);
QOR_AT(CoreResponse, reserved, 50);
QOR_AT(CoreResponse, stream, 54);
QOR_AT(CoreResponse, release, 58);
QOR_AT(ExternalRequest, url, 4);
QOR_AT(ExternalRequest, headers, 8);
QOR_AT(ExternalRequest, headerCount, 12);
QOR_AT(ExternalRequest, body, 16);
QOR_AT(ExternalRequest, bodySize, 20);
QOR_AT(ExternalRequest, setting1, 24);
QOR_AT(ExternalRequest, setting2, 28);
QOR_AT(ExternalResponse, status, 4);
QOR_AT(ExternalResponse, headers, 8);
QOR_AT(ExternalResponse, headerCount, 12);
QOR_AT(ExternalResponse, body, 16);
QOR_AT(ExternalResponse, bodySize, 20);
QOR_AT(ExternalResponse, release, 24);
QOR_AT(CoreEvent, payload, 4);
QOR_AT(CoreEvent, reserved, 16);
QOR_AT(CoreEvent, context, 20);
QOR_AT(PluginCoreApi, Log, 36);
QOR_AT(PluginHandshake, callbacks, 12);
QOR_AT(PluginHandshake, plugin, 16);
QOR_AT(PluginHandshake, shortName, 20);
QOR_AT(PluginHandshake, apiTable, 24);
QOR_AT(PluginApiTable, types, 8);
QOR_AT(PluginApiTable, events, 16);
QOR_AT(ApiFunctionExport, zero, 4);
QOR_AT(ApiFunctionExport, callContext, 8);
QOR_AT(ApiFunctionExport, name, 12);
QOR_AT(ApiFunctionExport, nameSpace, 16);
QOR_AT(ApiFunctionExport, arguments, 20);
QOR_AT(ApiFunctionExport, argumentCount, 24);
QOR_AT(ApiFunctionExport, returnCode, 28);
QOR_AT(ApiFunctionExport, returnElementCode, 32);
QOR_AT(ApiFunctionExport, returnTypeName, 36);
QOR_AT(ApiFunctionExport, description, 40);
QOR_AT(ApiFunctionExport, help, 44);
QOR_AT(ApiFunctionExport, threadSafe, 48);
QOR_AT(ApiFunctionExport, asyncTypeName, 49);
QOR_AT(ApiFunctionExport, tags, 53);
QOR_AT(ApiFunctionExport, tagCount, 57);
QOR_AT(ApiFunctionRecord, dispatch, 61);
QOR_AT(ApiFunctionRecord, locations, 65);
QOR_AT(ApiFunctionRecord, uriTemplate, 69);
QOR_AT(ApiFunctionRecord, method, 73);
QOR_AT(ApiFunctionRecord, routeFlag, 77);
QOR_AT(ApiFunctionRecord, stringLists, 78);
QOR_AT(ApiFunctionRecord, stringListCount, 82);
QOR_AT(ApiFunctionRecord, methodName, 86);
QOR_AT(ApiArgumentRecord, name, 4);
QOR_AT(ApiArgumentRecord, description, 8);
QOR_AT(ApiArgumentRecord, typeCode, 12);
QOR_AT(ApiArgumentRecord, elementCode, 16);
QOR_AT(ApiArgumentRecord, typeName, 20);
QOR_AT(ApiArgumentRecord, optional, 24);
QOR_AT(ApiFieldRecord, offset, 12);
QOR_AT(ApiFieldRecord, typeCode, 16);
QOR_AT(ApiFieldRecord, elementCode, 20);
QOR_AT(ApiFieldRecord, typeName, 24);
QOR_AT(ApiFieldRecord, optional, 28);
QOR_AT(ApiEnumeratorRecord, value, 12);
QOR_AT(ApiTypeRecord, size, 12);
QOR_AT(ApiTypeRecord, description, 16);
QOR_AT(ApiTypeRecord, tags, 20);
QOR_AT(ApiTypeRecord, tagCount, 24);
QOR_AT(ApiTypeRecord, fields, 28);
QOR_AT(ApiTypeRecord, enumerators, 32);
QOR_AT(ApiTypeRecord, count, 36);
QOR_AT(ApiEventRecord, nameSpace, 8);
QOR_AT(ApiEventRecord, typeName, 12);
QOR_AT(ApiEventRecord, description, 16);
QOR_AT(ApiEventRecord, tags, 20);
QOR_AT(ApiEventRecord, tagCount, 24);
QOR_AT(ApiArgumentLocationEntry, location, 4);
QOR_AT(ApiStringListEntry, strings, 4);
QOR_AT(ApiStringListEntry, count, 8);
#endif
