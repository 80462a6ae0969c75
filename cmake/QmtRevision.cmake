# Run at build time (cmake -P): writes OUT, a C++ file with the project's
# version and the git revision of the checkout at SOURCE_DIR ("" outside a
# checkout).  The file is only rewritten when its text changes, so a build
# without a new commit relinks nothing.
execute_process(
  COMMAND git -C "${SOURCE_DIR}" rev-parse --short=12 HEAD
  OUTPUT_VARIABLE QMT_REVISION OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE _rc)
if(NOT _rc EQUAL 0)
  set(QMT_REVISION "")
else()
  execute_process(
    COMMAND git -C "${SOURCE_DIR}" status --porcelain --untracked-files=no
    OUTPUT_VARIABLE _changes OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(NOT _changes STREQUAL "")
    string(APPEND QMT_REVISION "-dirty")
  endif()
endif()
configure_file("${IN}" "${OUT}" @ONLY)
