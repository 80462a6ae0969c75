# Turns the table text files into one C++ source: each file becomes a byte
# array kTable<Name> and its size.  Run with -DOUT=<file.cpp> -DDIR=<folder>
# -DNAMES=<Name;Name;...> (files <DIR>/<Name>.txt).
set(_text "// Generated from src/host/tables/*.txt; do not edit.\n#include <cstddef>\n\nnamespace qmt::tables {\n")
foreach(_name IN LISTS NAMES)
  file(READ "${DIR}/${_name}.txt" _hex HEX)
  string(LENGTH "${_hex}" _len)
  math(EXPR _size "${_len} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," _bytes "${_hex}")
  string(APPEND _text "extern const unsigned char kTable${_name}[] = {${_bytes}0};\n")
  string(APPEND _text "extern const std::size_t kTable${_name}Size = ${_size};\n")
endforeach()
string(APPEND _text "}  // namespace qmt::tables\n")
file(WRITE "${OUT}.tmp" "${_text}")
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.tmp")
