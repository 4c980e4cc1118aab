# Cross build for 32-bit Windows with mingw-w64 (i686).
# cmake -S <source> -B <build> -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(QMORA_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${QMORA_MINGW_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${QMORA_MINGW_PREFIX}-g++)
set(CMAKE_RC_COMPILER ${QMORA_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QMORA_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Link the compiler's runtime statically so the executable needs no DLL
# beyond the ones every Windows system has.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
