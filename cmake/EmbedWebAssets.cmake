# Writes a C++ source that holds the host's page (the files of one folder)
# as byte arrays, for host/WebAssets.h, so that the host serves the page
# with no file beside it. Run at build time:
#   cmake -DROOT=<folder> -DOUTPUT=<file.cpp> -P EmbedWebAssets.cmake
# index.html is served at "/", every other file at "/ui/<name>".
cmake_minimum_required(VERSION 3.25)

file(GLOB _files RELATIVE ${ROOT} ${ROOT}/*)
list(SORT _files)

set(_arrays "")
set(_table "")
set(_index 0)
foreach(_name IN LISTS _files)
  if(IS_DIRECTORY ${ROOT}/${_name})
    continue()
  endif()
  get_filename_component(_ext ${_name} LAST_EXT)
  if(_ext STREQUAL ".html")
    set(_type "text/html; charset=utf-8")
  elseif(_ext STREQUAL ".js")
    set(_type "text/javascript; charset=utf-8")
  elseif(_ext STREQUAL ".css")
    set(_type "text/css; charset=utf-8")
  elseif(_ext STREQUAL ".svg")
    set(_type "image/svg+xml")
  else()
    set(_type "application/octet-stream")
  endif()
  if(_name STREQUAL "index.html")
    set(_path "/")
  else()
    set(_path "/ui/${_name}")
  endif()
  file(READ ${ROOT}/${_name} _hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," _bytes "${_hex}")
  string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)"
         "\\1\n" _bytes "${_bytes}")
  string(APPEND _arrays "// ${_name}\nconst unsigned char kAsset${_index}[] = {\n${_bytes}0x00};\n\n")
  string(APPEND _table "    {\"${_path}\", \"${_type}\", kAsset${_index}, sizeof kAsset${_index} - 1},\n")
  math(EXPR _index "${_index} + 1")
endforeach()

set(_text "// Generated from host/web by cmake/EmbedWebAssets.cmake; do not edit.
#include \"host/WebAssets.h\"

#include <iterator>

namespace qor::host {
namespace {

${_arrays}struct Entry {
  const char* path;
  const char* contentType;
  const unsigned char* bytes;
  std::size_t size;
};

const Entry kEntries[] = {
${_table}};

}  // namespace

std::optional<WebAsset> findWebAsset(std::string_view path) {
  for (const Entry& entry : kEntries) {
    if (path == entry.path)
      return WebAsset{entry.path, entry.contentType,
                      std::string_view(reinterpret_cast<const char*>(entry.bytes), entry.size)};
  }
  return std::nullopt;
}

std::size_t webAssetCount() { return std::size(kEntries); }

}  // namespace qor::host
")

file(WRITE ${OUTPUT} "${_text}")
