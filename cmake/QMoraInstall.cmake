# What `cmake --install` puts in place: cabtool with its manual page, and the
# cabinet library for other projects: the shared library libqmora-cab.so.1
# (see QMoraLibrary.cmake), the static archives (libqmora-cab.a and its
# codecs' libraries), the public headers, a CMake package
# (find_package(QMoraCab): QMora::cab, shared by default, static on request)
# and a pkg-config file (qmora-cab: shared; --static: the archives).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(QMORA_CAB_INCLUDE_SUBDIR qmora)
set(QMORA_CAB_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/QMoraCab)

# Each static member of the shared library is installed as an archive too,
# with the libraries it links: the decoder links its codecs' libraries. They
# are found by following the link libraries, so a codec added to the registry
# is installed without a change here.
function(qmora_collect_link_targets target)
  get_property(collected GLOBAL PROPERTY QMORA_CAB_INSTALLED_TARGETS)
  if(target IN_LIST collected)
    return()
  endif()
  set_property(GLOBAL APPEND PROPERTY QMORA_CAB_INSTALLED_TARGETS ${target})
  get_target_property(links ${target} LINK_LIBRARIES)
  if(links)
    foreach(link IN LISTS links)
      if(TARGET ${link})
        qmora_collect_link_targets(${link})
      endif()
    endforeach()
  endif()
endfunction()
get_property(qmora_shared_members GLOBAL PROPERTY QMORA_SHARED_MEMBERS)
foreach(member IN LISTS qmora_shared_members)
  get_target_property(type ${member} TYPE)
  if(type STREQUAL "STATIC_LIBRARY")
    qmora_collect_link_targets(${member})
  endif()
endforeach()
get_property(qmora_cab_targets GLOBAL PROPERTY QMORA_CAB_INSTALLED_TARGETS)

# Inside the tree every library includes from the source root; installed,
# the headers sit under include/qmora. Plain paths become build-tree only.
set(qmora_cab_libs "")
foreach(target IN LISTS qmora_cab_targets)
  get_target_property(dirs ${target} INTERFACE_INCLUDE_DIRECTORIES)
  if(dirs)
    set(wrapped "")
    foreach(dir IN LISTS dirs)
      if(dir MATCHES "^\\$<")
        list(APPEND wrapped "${dir}")
      else()
        list(APPEND wrapped "$<BUILD_INTERFACE:${dir}>")
      endif()
    endforeach()
    set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "${wrapped}")
  endif()
  # Installed archive names carry the project's prefix: libqmora-cab.a, ...
  # The decoder's archive shares its name with the shared library, so -l
  # picks the shared one unless the link is static.
  set_target_properties(${target} PROPERTIES OUTPUT_NAME qmora-${target})
  if(NOT target STREQUAL "cab")
    string(APPEND qmora_cab_libs " -lqmora-${target}")
  endif()
endforeach()
# QMora::cab is the package's choice between these two (QMoraCabConfig).
set_target_properties(cab PROPERTIES EXPORT_NAME cab_static)
foreach(target cab cab_shared)
  target_include_directories(${target} INTERFACE
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/${QMORA_CAB_INCLUDE_SUBDIR}>)
endforeach()

install(TARGETS ${qmora_cab_targets} cab_shared EXPORT QMoraCabTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
set(qmora_headers ${CMAKE_INSTALL_INCLUDEDIR}/${QMORA_CAB_INCLUDE_SUBDIR})
install(FILES cab/cab.h cab/cab_export.h cab/cab_owner.h cab/cab_reader.h
  DESTINATION ${qmora_headers}/cab)
install(FILES archive/cab_archive.h DESTINATION ${qmora_headers}/archive)
install(EXPORT QMoraCabTargets NAMESPACE QMora:: DESTINATION ${QMORA_CAB_CMAKE_DIR})

configure_package_config_file(cmake/QMoraCabConfig.cmake.in
  ${PROJECT_BINARY_DIR}/QMoraCabConfig.cmake INSTALL_DESTINATION ${QMORA_CAB_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/QMoraCabConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/QMoraCabConfig.cmake
  ${PROJECT_BINARY_DIR}/QMoraCabConfigVersion.cmake DESTINATION ${QMORA_CAB_CMAKE_DIR})

# Linked statically, the library is the archives and the C++ runtime they
# need; the shared library carries that dependency itself.
# Paths in the file are relative to where it lies, so the installed tree may
# be moved or installed with another --prefix.
string(STRIP "${qmora_cab_libs}" QMORA_CAB_PC_PRIVATE_LIBS)
file(RELATIVE_PATH QMORA_CAB_PC_TO_PREFIX "/root/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/root")
string(REGEX REPLACE "/$" "" QMORA_CAB_PC_TO_PREFIX "${QMORA_CAB_PC_TO_PREFIX}")
configure_file(cab/qmora-cab.pc.in ${PROJECT_BINARY_DIR}/qmora-cab.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/qmora-cab.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

install(TARGETS cabtool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES tools/cabtool/cabtool.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
