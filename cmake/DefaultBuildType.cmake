# A configure that names no build type gets an optimised one, so that the
# installer, cabtool and the installed library a user builds run at full
# speed. Developers and CI name the type they want and keep it; generators
# with several configurations choose one per build and are left alone.
get_property(qmora_multi_config GLOBAL PROPERTY GENERATOR_IS_MULTI_CONFIG)
if(NOT qmora_multi_config AND NOT CMAKE_BUILD_TYPE)
  message(STATUS "No build type given: building Release")
  set(CMAKE_BUILD_TYPE Release CACHE STRING "Debug, Release, RelWithDebInfo or MinSizeRel" FORCE)
endif()
