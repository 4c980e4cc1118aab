# Configures the project as a newcomer does, without a build type, and as a
# developer does, with one: the first must come out optimised with warnings
# left as warnings, the second must keep the type it asked for.
#   cmake -DSOURCE_DIR=<tree> -DWORK_DIR=<scratch> -P default_build_type.cmake

function(configure_and_read name build_type_argument out_type out_strict)
  set(dir ${WORK_DIR}/${name})
  file(REMOVE_RECURSE ${dir})
  execute_process(
    COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${dir} ${build_type_argument}
            -DQMORA_TESTS=OFF -DQMORA_WINDOWS_INSTALLER=OFF
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "configure (${name}) failed:\n${output}")
  endif()
  load_cache(${dir} READ_WITH_PREFIX cached_ CMAKE_BUILD_TYPE QMORA_WARNINGS_AS_ERRORS)
  set(${out_type} "${cached_CMAKE_BUILD_TYPE}" PARENT_SCOPE)
  set(${out_strict} "${cached_QMORA_WARNINGS_AS_ERRORS}" PARENT_SCOPE)
  file(REMOVE_RECURSE ${dir})
endfunction()

configure_and_read(plain "" type strict)
if(NOT type STREQUAL "Release" OR strict)
  message(FATAL_ERROR "a configure without a build type gave type '${type}', warnings as errors '${strict}'")
endif()

configure_and_read(developer "-DCMAKE_BUILD_TYPE=Debug" type strict)
if(NOT type STREQUAL "Debug" OR NOT strict)
  message(FATAL_ERROR "-DCMAKE_BUILD_TYPE=Debug gave type '${type}', warnings as errors '${strict}'")
endif()
