# Writes OUT, a C++ source holding each file of PAGES as a string literal,
# in the order given: qmt::lang::kReferencePages[i].
set(_out "// Generated from the manual's reference pages.\n#include <string_view>\nnamespace qmt::lang {\nextern const std::string_view kReferencePages[] = {\n")
foreach(_page ${PAGES})
  file(READ ${_page} _text)
  # Split into pieces well below compilers' literal limits.
  string(LENGTH "${_text}" _len)
  set(_pos 0)
  string(APPEND _out "  std::string_view(\n")
  while(_pos LESS _len)
    string(SUBSTRING "${_text}" ${_pos} 4000 _piece)
    string(APPEND _out "R\"qmtpage(${_piece})qmtpage\"\n")
    math(EXPR _pos "${_pos} + 4000")
  endwhile()
  string(APPEND _out "  ),\n")
endforeach()
string(APPEND _out "};\n}  // namespace qmt::lang\n")
file(WRITE ${OUT} "${_out}")
