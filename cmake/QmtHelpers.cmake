# Adds a subdirectory when it has a CMakeLists.txt, so that parts of the tree can
# be built while others are still being written.
function(qmt_add_subdirectory dir)
  if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
    add_subdirectory(${dir} ${ARGN})
  endif()
endfunction()

# qmt_library(NAME DEPS... [NATIVE_ONLY files...] [WEB_ONLY files...]): a
# static library from every .cpp in the current folder (an interface library
# while the folder has none yet).  Headers are included as
# "subsystem/file.h" from src/.  The web build (QMT_WEB) leaves out the
# NATIVE_ONLY files (ports, fonts, picture libraries) and compiles the
# WEB_ONLY ones that stand in for them; the native build the other way round.
function(qmt_library name)
  cmake_parse_arguments(PARSE_ARGV 1 _lib "" "" "NATIVE_ONLY;WEB_ONLY")
  file(GLOB _sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(QMT_WEB)
    set(_left_out ${_lib_NATIVE_ONLY})
  else()
    set(_left_out ${_lib_WEB_ONLY})
  endif()
  foreach(_file IN LISTS _left_out)
    list(REMOVE_ITEM _sources ${CMAKE_CURRENT_SOURCE_DIR}/${_file})
  endforeach()
  if(_sources)
    add_library(${name} STATIC ${_sources})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC ${_lib_UNPARSED_ARGUMENTS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} INTERFACE ${_lib_UNPARSED_ARGUMENTS})
  endif()
endfunction()

# qmt_test(NAME DEPS...): one GoogleTest executable from every .cpp in the
# current folder.
function(qmt_test name)
  file(GLOB _sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT _sources)
    return()
  endif()
  add_executable(${name} ${_sources})
  target_link_libraries(${name} PRIVATE ${ARGN} GTest::gtest GTest::gtest_main GTest::gmock)
  target_compile_definitions(${name} PRIVATE QMT_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ENVIRONMENT "QMT_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()

# qmt_host_tool(NAME SOURCES files... [LIBS targets...]): a program the build
# runs to write sources.  A cross build (the web build) cannot run what it
# compiles, so it takes the program from QMT_HOST_TOOLS, the folder where a
# native build of the same checkout put its tools (build-dir/host-tools).
function(qmt_host_tool name)
  cmake_parse_arguments(PARSE_ARGV 1 _tool "" "" "SOURCES;LIBS")
  if(CMAKE_CROSSCOMPILING)
    if(NOT QMT_HOST_TOOLS)
      message(FATAL_ERROR "A cross build needs -DQMT_HOST_TOOLS=<native build>/host-tools for ${name}")
    endif()
    add_executable(${name} IMPORTED GLOBAL)
    set_target_properties(${name} PROPERTIES IMPORTED_LOCATION ${QMT_HOST_TOOLS}/${name})
  else()
    add_executable(${name} ${_tool_SOURCES})
    target_link_libraries(${name} PRIVATE ${_tool_LIBS})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/host-tools)
  endif()
endfunction()
