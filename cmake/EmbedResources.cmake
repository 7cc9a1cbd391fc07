# Turns resources/<id>.bmp into a C++ table of embedded bitmap resources.
# Invoked as: cmake -DOUT=<file.cpp> -DDIR=<resources dir> -P EmbedResources.cmake
file(GLOB bmps "${DIR}/*.bmp")
list(SORT bmps)
set(body "")
set(table "")
foreach(bmp IN LISTS bmps)
  get_filename_component(name "${bmp}" NAME_WE)
  if(NOT name MATCHES "^[0-9]+$")
    continue()
  endif()
  file(READ "${bmp}" hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(LENGTH "${hex}" hexlen)
  math(EXPR size "${hexlen} / 2")
  string(APPEND body "static const unsigned char kRes${name}[] = {${bytes}};\n")
  string(APPEND table "    {${name}, kRes${name}, ${size}},\n")
endforeach()
file(WRITE "${OUT}.tmp"
"// Generated from resources/*.bmp at build time. Do not edit.\n"
"#include \"zumeld/platform/resources_p.h\"\n"
"namespace Zumeld::Platform {\n${body}\n"
"const EmbeddedResource kEmbeddedResources[] = {\n${table}    {0, nullptr, 0}};\n"
"}  // namespace Zumeld::Platform\n")
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
