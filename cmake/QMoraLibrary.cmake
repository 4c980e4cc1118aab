# The cabinet library as clients get it: libqmora-cab.so, one shared library
# with a C interface, holding every library registered here, and
# libqmora-cab.a, a static archive of the same objects.
#
#   qmora_add_to_shared_library(TARGET [HEADERS header...])
#
# puts an in-tree library into it: the decoder, each codec and the archive
# interface join with this one line, after the target is defined. HEADERS
# names the target's installed headers (relative to its source directory);
# every function they declare must carry CAB_API and be exported, which a
# test checks (scripts/check-exports.sh). The target itself stays as it is for the in-tree static users; the
# shared library gets its own build of the target's sources (position
# independent, hidden visibility, QMORA_CAB_BUILDING_SHARED defined), so only
# CAB_API functions are visible, and a linker version script keeps every
# symbol that does not start with cab or Cab out of the dynamic table.
# A member's in-tree dependencies must be members too.
#
# The library is linked by the C++ compiler driver, so whatever part of the
# C++ runtime its members use is a dynamic dependency of the library itself
# (libstdc++ NEEDED): a C program links it with the C compiler alone, and a
# C++ program in the same process shares one runtime with it rather than
# meeting a second, hidden copy. The decoder and codecs use none of it
# today (no exceptions, no operator new), so libc is all they need.
#
# Windows builds (the installer's cross build) have no shared library: there
# the function does nothing and the static libraries are used as they are.

function(qmora_add_to_shared_library target)
  cmake_parse_arguments(M "" "" "HEADERS" ${ARGN})
  if(WIN32)
    return()
  endif()
  set_property(GLOBAL APPEND PROPERTY QMORA_SHARED_MEMBERS ${target})
  get_target_property(dir ${target} SOURCE_DIR)
  foreach(header IN LISTS M_HEADERS)
    if(NOT IS_ABSOLUTE "${header}")
      set(header "${dir}/${header}")
    endif()
    set_property(GLOBAL APPEND PROPERTY QMORA_SHARED_HEADERS "${header}")
  endforeach()
endfunction()

# Builds libqmora-cab.so and libqmora-cab.a from the members registered so
# far; called once, after every directory has been added. Defines the
# targets cab_shared and cab_static.
function(qmora_build_shared_library)
  get_property(members GLOBAL PROPERTY QMORA_SHARED_MEMBERS)
  set(objects "")
  set(outside_links "")
  foreach(member IN LISTS members)
    get_target_property(dir ${member} SOURCE_DIR)
    get_target_property(sources ${member} SOURCES)
    set(own_sources "")
    foreach(source IN LISTS sources)
      if(source MATCHES "^\\$<")
        continue()  # objects of another target, which is a member of its own
      endif()
      if(NOT IS_ABSOLUTE "${source}")
        set(source "${dir}/${source}")
      endif()
      qmora_keep_source_options("${source}" "${dir}")
      list(APPEND own_sources "${source}")
    endforeach()
    if(NOT own_sources)
      continue()
    endif()

    set(twin ${member}_shared_objects)
    add_library(${twin} OBJECT ${own_sources})
    set_target_properties(${twin} PROPERTIES
      POSITION_INDEPENDENT_CODE ON
      C_VISIBILITY_PRESET hidden
      CXX_VISIBILITY_PRESET hidden
      VISIBILITY_INLINES_HIDDEN ON)
    target_compile_definitions(${twin} PRIVATE QMORA_CAB_BUILDING_SHARED
      $<TARGET_PROPERTY:${member},COMPILE_DEFINITIONS>)
    target_include_directories(${twin} PRIVATE $<TARGET_PROPERTY:${member},INCLUDE_DIRECTORIES>)
    # The project's warnings, not the member's own options: a fuzzing build
    # instruments the in-tree libraries, never the library clients get.
    qmora_warnings(${twin})
    get_target_property(links ${member} LINK_LIBRARIES)
    if(links)
      # Usage requirements (include directories, definitions) of what the
      # member links; the objects themselves link nothing.
      target_link_libraries(${twin} PRIVATE ${links})
      foreach(link IN LISTS links)
        if(NOT link IN_LIST members)
          list(APPEND outside_links ${link})
        endif()
      endforeach()
    endif()
    list(APPEND objects $<TARGET_OBJECTS:${twin}>)
  endforeach()

  set(version_script ${PROJECT_BINARY_DIR}/qmora-cab.map)
  file(WRITE ${version_script} "{\n  global: cab*; Cab*;\n  local: *;\n};\n")

  add_library(cab_shared SHARED ${objects})
  set_target_properties(cab_shared PROPERTIES
    OUTPUT_NAME qmora-cab
    VERSION ${PROJECT_VERSION}
    SOVERSION ${PROJECT_VERSION_MAJOR}
    EXPORT_NAME cab_shared
    LINK_DEPENDS ${version_script})
  target_link_options(cab_shared PRIVATE -Wl,--version-script=${version_script})
  if(NOT QMORA_SANITIZE)
    # Every symbol resolved at link time: nothing the library needs is left
    # for its client to supply.
    target_link_options(cab_shared PRIVATE -Wl,--no-undefined)
  endif()
  if(outside_links)
    list(REMOVE_DUPLICATES outside_links)
    target_link_libraries(cab_shared PRIVATE ${outside_links})
  endif()
  target_include_directories(cab_shared INTERFACE $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>)

  # One archive of everything, so that -lqmora-cab links statically whatever
  # the members and their order. Its objects are the shared library's: built
  # position independent, they also go into a client's own shared library.
  add_library(cab_static STATIC ${objects})
  set_target_properties(cab_static PROPERTIES OUTPUT_NAME qmora-cab EXPORT_NAME cab_static)
  if(outside_links)
    target_link_libraries(cab_static INTERFACE ${outside_links})
  endif()
  target_include_directories(cab_static INTERFACE $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>)

  if(QMORA_TESTS)
    get_property(headers GLOBAL PROPERTY QMORA_SHARED_HEADERS)
    add_test(NAME Packaging.SharedLibraryExportsOnlyPrefixedNames
      COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/check-exports.sh $<TARGET_FILE:cab_shared>
        ${headers})
  endif()
endfunction()
