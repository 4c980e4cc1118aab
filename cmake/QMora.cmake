# Project-wide settings and helpers.

# The tree's own code still uses the walk interface's earlier, unprefixed
# names (OpenOutput, CannotOpen, blockChecksum, ...), so every in-tree target
# asks for them. This is a directory setting, not a usage requirement of any
# target: installed clients see only the prefixed names unless they ask.
add_compile_definitions(CAB_WALK_NAMES)

include(${CMAKE_CURRENT_LIST_DIR}/QMoraLibrary.cmake)

# Warnings are errors in developer and CI builds (Debug, RelWithDebInfo, and
# whenever QMORA_WARNINGS_AS_ERRORS is set), never in a user's plain build:
# a newer compiler's new warning must not stop someone from building.
if(CMAKE_BUILD_TYPE MATCHES "^(Debug|RelWithDebInfo)$")
  set(qmora_strict_default ON)
else()
  set(qmora_strict_default OFF)
endif()
option(QMORA_WARNINGS_AS_ERRORS "Treat compiler warnings as errors" ${qmora_strict_default})

function(qmora_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4)
    if(QMORA_WARNINGS_AS_ERRORS)
      target_compile_options(${target} PRIVATE /WX)
    endif()
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow)
    if(QMORA_WARNINGS_AS_ERRORS)
      target_compile_options(${target} PRIVATE -Werror)
    endif()
  endif()
endfunction()

# Gives a source file, in the directory that calls this, the compile options
# its own directory `dir` sets on it (source properties are per directory):
# for targets that compile another directory's sources themselves.
function(qmora_keep_source_options source dir)
  get_source_file_property(options "${source}" DIRECTORY "${dir}" COMPILE_OPTIONS)
  if(options)
    set_source_files_properties("${source}" PROPERTIES COMPILE_OPTIONS "${options}")
  endif()
endfunction()

if(QMORA_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
endif()

# qmora_test(name SOURCES a.cpp b.cpp LIBS lib1 lib2): a GoogleTest executable
# registered with CTest, run from the build directory.
function(qmora_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  qmora_warnings(${name})
  # A hanging test fails after five minutes instead of holding up the run.
  gtest_discover_tests(${name} WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
                       DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
endfunction()
