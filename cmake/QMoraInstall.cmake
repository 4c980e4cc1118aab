# What `cmake --install` puts in place: cabtool with its manual page, and the
# cabinet library for other projects: the shared library libqmora-cab.so.1
# and the static archive libqmora-cab.a (see QMoraLibrary.cmake), the codecs'
# archives, the public headers, a CMake package (find_package(QMoraCab):
# QMora::cab, shared by default, static on request) and a pkg-config file
# (qmora-cab: shared; --static: what the archive needs).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(QMORA_CAB_INCLUDE_SUBDIR qmora)
set(QMORA_CAB_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/QMoraCab)

# The decoder's codecs keep their own archives too, for clients that name
# them (libqmora-cab.a holds their code already). They are found by following
# the decoder's link libraries, so a codec added to the registry is installed
# without a change here.
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
get_target_property(qmora_decoder_links cab LINK_LIBRARIES)
foreach(link IN LISTS qmora_decoder_links)
  if(TARGET ${link})
    qmora_collect_link_targets(${link})
  endif()
endforeach()
get_property(qmora_codec_targets GLOBAL PROPERTY QMORA_CAB_INSTALLED_TARGETS)

# Inside the tree every library includes from the source root; installed,
# the headers sit under include/qmora. Plain paths become build-tree only.
foreach(target IN LISTS qmora_codec_targets)
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
  # Installed archive names carry the project's prefix: libqmora-mszip.a, ...
  set_target_properties(${target} PROPERTIES OUTPUT_NAME qmora-${target})
endforeach()
# QMora::cab is the package's choice between these two (QMoraCabConfig).
foreach(target cab_shared cab_static)
  target_include_directories(${target} INTERFACE
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/${QMORA_CAB_INCLUDE_SUBDIR}>)
endforeach()

install(TARGETS cab_shared cab_static ${qmora_codec_targets} EXPORT QMoraCabTargets
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

# Linked statically, libqmora-cab.a needs the C++ runtime; the shared
# library carries that dependency itself.
# Paths in the file are relative to where it lies, so the installed tree may
# be moved or installed with another --prefix.
file(RELATIVE_PATH QMORA_CAB_PC_TO_PREFIX "/root/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/root")
string(REGEX REPLACE "/$" "" QMORA_CAB_PC_TO_PREFIX "${QMORA_CAB_PC_TO_PREFIX}")
configure_file(cab/qmora-cab.pc.in ${PROJECT_BINARY_DIR}/qmora-cab.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/qmora-cab.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

install(TARGETS cabtool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES tools/cabtool/cabtool.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
