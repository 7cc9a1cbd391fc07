# Turns the page's files into a C++ table of embedded assets, so the server reads nothing
# from disk at run time.
# Invoked as: cmake -DOUT=<file.cpp> -DASSETS=<url>=<file>;... -P EmbedAssets.cmake
set(body "")
set(table "")
set(n 0)
string(REPLACE "|" ";" ASSETS "${ASSETS}")
foreach(entry IN LISTS ASSETS)
  string(FIND "${entry}" "=" eq)
  string(SUBSTRING "${entry}" 0 ${eq} url)
  math(EXPR start "${eq} + 1")
  string(SUBSTRING "${entry}" ${start} -1 path)
  file(READ "${path}" hex HEX)
  string(LENGTH "${hex}" hexlen)
  math(EXPR size "${hexlen} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(APPEND body "const unsigned char kAsset${n}[] = {${bytes}0};\n")
  string(APPEND table "    {\"${url}\", kAsset${n}, ${size}},\n")
  math(EXPR n "${n} + 1")
endforeach()
file(WRITE "${OUT}.tmp"
"// Generated from the page's files at build time. Do not edit.\n"
"#include \"assets.h\"\n"
"namespace zumeld_serve {\nnamespace {\n${body}}  // namespace\n"
"const EmbeddedAsset kEmbeddedAssets[] = {\n${table}    {nullptr, nullptr, 0}};\n"
"}  // namespace zumeld_serve\n")
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
