# Cross-compiling for Linux on another processor with Debian's cross
# compilers (g++-aarch64-linux-gnu, g++-s390x-linux-gnu, ...):
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/linux-cross.cmake -DLCDUMP_CROSS=s390x
# The program then runs under qemu-user with the cross libraries as its root:
#   qemu-s390x -L /usr/s390x-linux-gnu build-s390x/lcdump
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${LCDUMP_CROSS})
set(CMAKE_CXX_COMPILER ${LCDUMP_CROSS}-linux-gnu-g++)
set(CMAKE_FIND_ROOT_PATH /usr/${LCDUMP_CROSS}-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# CMake's trial compilations read this file again, and need the processor too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES LCDUMP_CROSS)
