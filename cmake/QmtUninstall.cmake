# Undoes a source install:  cmake -P PREFIX/share/qmt3308/uninstall.cmake
# (or `cmake --build build --target uninstall` for the prefix the build was
# configured with).  Reads install-record.txt beside it (or -DRECORD=FILE)
# and removes each recorded file whose contents are still those installed;
# a file changed or replaced since (by a package, by hand) is kept and
# named.  Then the folders the install created, once empty (the others are
# named), and the record.
cmake_minimum_required(VERSION 3.25)

if(NOT RECORD)
  set(RECORD "${CMAKE_CURRENT_LIST_DIR}/install-record.txt")
endif()
if(NOT EXISTS "${RECORD}")
  message(FATAL_ERROR "No install record at ${RECORD}: nothing was installed there with cmake --install "
                      "(a package's files are removed by its package manager)")
endif()
get_filename_component(_record_dir "${RECORD}" DIRECTORY)

file(STRINGS "${RECORD}" _lines)
set(_created "")
set(_kept 0)
set(_removed 0)
foreach(_line IN LISTS _lines)
  if(_line MATCHES "^dir (.+)$")
    list(APPEND _created "${CMAKE_MATCH_1}")
  elseif(_line MATCHES "^file ([0-9a-f]+) (.+)$")
    set(_sum "${CMAKE_MATCH_1}")
    set(_file "${CMAKE_MATCH_2}")
    if(IS_SYMLINK "${_file}" OR IS_DIRECTORY "${_file}")
      message(STATUS "Kept (no longer the installed file): ${_file}")
      math(EXPR _kept "${_kept} + 1")
    elseif(EXISTS "${_file}")
      file(SHA256 "${_file}" _now)
      if(_now STREQUAL _sum)
        file(REMOVE "${_file}")
        math(EXPR _removed "${_removed} + 1")
      else()
        message(STATUS "Kept (changed since the install): ${_file}")
        math(EXPR _kept "${_kept} + 1")
      endif()
    endif()
  elseif(NOT _line MATCHES "^#" AND NOT _line STREQUAL "")
    message(FATAL_ERROR "${RECORD}: not a line of an install record: ${_line}")
  endif()
endforeach()

# The desktop's caches: gone with a folder the install made, else refreshed.
get_filename_component(_datadir "${_record_dir}" DIRECTORY)
set(_caches "${_datadir}/mime|packages" "${_datadir}/applications|mimeinfo.cache"
            "${_datadir}/icons/hicolor|icon-theme.cache")
foreach(_entry IN LISTS _caches)
  string(REPLACE "|" ";" _parts "${_entry}")
  list(GET _parts 0 _dir)
  if(NOT _dir IN_LIST _created OR NOT IS_DIRECTORY "${_dir}")
    continue()
  endif()
  # What is left besides the generated caches is someone else's.
  file(GLOB_RECURSE _left LIST_DIRECTORIES false RELATIVE "${_dir}" "${_dir}/*")
  list(FILTER _left EXCLUDE REGEX "^(icon-theme\\.cache|mimeinfo\\.cache)$")
  if(_dir MATCHES "/mime$")
    list(FILTER _left INCLUDE REGEX "^packages/")
  endif()
  if(NOT _left)
    file(REMOVE_RECURSE "${_dir}")
  endif()
endforeach()

file(REMOVE "${RECORD}" "${_record_dir}/uninstall.cmake")
if(EXISTS "${_record_dir}/desktop-caches.cmake")
  include("${_record_dir}/desktop-caches.cmake")
  file(REMOVE "${_record_dir}/desktop-caches.cmake")
  qmt_refresh_desktop_caches("${_datadir}")
endif()

# Folders the install created, deepest first, when nothing is left in them;
# the ones that still hold something (a kept file, another program's) are
# named, so that the user knows what of the install is still there.
list(SORT _created ORDER DESCENDING)
foreach(_dir IN LISTS _created)
  if(IS_DIRECTORY "${_dir}" AND NOT IS_SYMLINK "${_dir}")
    file(GLOB_RECURSE _left LIST_DIRECTORIES false "${_dir}/*")
    if(NOT _left)
      file(REMOVE_RECURSE "${_dir}")
    endif()
  endif()
endforeach()
list(SORT _created)
foreach(_dir IN LISTS _created)
  if(IS_DIRECTORY "${_dir}")
    message(STATUS "Kept (a folder the install made, not empty): ${_dir}")
  endif()
endforeach()

message(STATUS "Removed ${_removed} files; kept ${_kept}")
