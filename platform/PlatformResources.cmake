# Embedding a Windows resource script into a Linux build.
#
#   platform_embed_resources(<target> <rcfile> [INCLUDE_DIRS dir...] [DEPENDS file...])
#
# The .rc file is the same one the Windows build compiles.  It is compiled
# with mingw-w64's windres into a .res file, which is turned into a C++ byte
# array whose static initialiser hands it to win32RegisterResourceFile()
# (platform/embedded_resources.h).  From then on FindResourceA, LoadIconA and
# CreateDialogParamA find its icons, bitmaps and dialog templates.
#
# windres looks for included headers and for the files the script names
# (icons, bitmaps) in the script's own directory, in INCLUDE_DIRS and in the
# target's include directories, as CMake's RC language does for the Windows
# build.  List generated files the script names under DEPENDS so that it is
# compiled again when they change; targets that <target> depends on (through
# add_dependencies before this call) are built first.
#
# For an executable the array is compiled into it.  For a static library it
# is linked into every executable that links the library, so that the
# registration is never dropped by the archive linker.

find_program(PLATFORM_WINDRES NAMES i686-w64-mingw32-windres windres)
set(PLATFORM_EMBED_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/cmake/EmbedResourceFile.cmake
    CACHE INTERNAL "Turns a .res file into a registering C++ source")

function(platform_embed_resources target rcfile)
  cmake_parse_arguments(RES "" "" "INCLUDE_DIRS;DEPENDS" ${ARGN})
  if(NOT PLATFORM_WINDRES)
    message(FATAL_ERROR "platform_embed_resources: i686-w64-mingw32-windres was not found "
                        "(Debian package binutils-mingw-w64-i686)")
  endif()

  get_filename_component(rc_path ${rcfile} ABSOLUTE)
  get_filename_component(rc_dir ${rc_path} DIRECTORY)
  get_filename_component(rc_name ${rc_path} NAME_WE)
  set(out_dir ${CMAKE_CURRENT_BINARY_DIR}/${target}_resources)
  set(res_file ${out_dir}/${rc_name}.res)
  set(cpp_file ${out_dir}/${rc_name}_res.cpp)
  file(MAKE_DIRECTORY ${out_dir})

  set(include_args -I${rc_dir})
  foreach(dir IN LISTS RES_INCLUDE_DIRS)
    list(APPEND include_args -I${dir})
  endforeach()
  set(target_dirs "$<TARGET_PROPERTY:${target},INCLUDE_DIRECTORIES>")
  list(APPEND include_args "$<$<BOOL:${target_dirs}>:-I$<JOIN:${target_dirs},$<SEMICOLON>-I>>")

  add_custom_command(
    OUTPUT ${res_file}
    COMMAND ${PLATFORM_WINDRES} ${include_args} -O res -i ${rc_path} -o ${res_file}
    WORKING_DIRECTORY ${rc_dir}
    DEPENDS ${rc_path} ${RES_DEPENDS}
    COMMAND_EXPAND_LISTS
    COMMENT "Compiling resources ${rc_name}.rc for ${target}")
  add_custom_command(
    OUTPUT ${cpp_file}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${res_file} -DOUTPUT=${cpp_file} -P ${PLATFORM_EMBED_SCRIPT}
    DEPENDS ${res_file} ${PLATFORM_EMBED_SCRIPT}
    COMMENT "Embedding ${rc_name}.res in ${target}")

  get_target_property(type ${target} TYPE)
  if(type STREQUAL "STATIC_LIBRARY")
    set(objects ${target}_embedded_resources)
    add_library(${objects} OBJECT ${cpp_file})
    target_link_libraries(${objects} PRIVATE win32platform)
    qmora_warnings(${objects})
    get_target_property(deps ${target} MANUALLY_ADDED_DEPENDENCIES)
    if(deps)
      add_dependencies(${objects} ${deps})
    endif()
    target_link_libraries(${target} INTERFACE $<TARGET_OBJECTS:${objects}>)
    add_dependencies(${target} ${objects})
  else()
    target_sources(${target} PRIVATE ${cpp_file})
    target_link_libraries(${target} PRIVATE win32platform)
  endif()
endfunction()
