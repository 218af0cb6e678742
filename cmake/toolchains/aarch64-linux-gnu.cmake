# Cross build for 64-bit ARM Linux (Debian's arm64: Cortex-A53 and up) on a
# Debian build machine:
#   cmake -S . -B build-arm64 -DCMAKE_TOOLCHAIN_FILE=<this file>
# It needs Debian's cross compiler and the target's libraries from multiarch:
#   dpkg --add-architecture arm64 && apt-get update
#   apt-get install crossbuild-essential-arm64 qtbase5-dev:arm64 (or qt6-base-dev:arm64) qemu-user
#
# The target is Debian's multiarch triplet aarch64-linux-gnu on the build machine itself,
# with no sysroot: its compilers are aarch64-linux-gnu-gcc and -g++, its libraries,
# headers and CMake packages lie in its multiarch folders (/usr/lib/aarch64-linux-gnu,
# /usr/include/aarch64-linux-gnu) beside the build machine's own, and the code
# generators (Qt's moc and rcc) are the build machine's, which the target's
# Qt packages name.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

# find_package and find_library search the target's multiarch folders
# (CMAKE_LIBRARY_ARCHITECTURE) and the generic ones, never the build
# machine's /usr/lib/<its triplet>; programs found are the build machine's.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)

# pkg-config reads the target's .pc files only.
set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig")

# Target programs (tests, programs run at build time) run under qemu-user,
# which finds the target's dynamic loader and libraries through multiarch.
find_program(QUILLMARSH_CROSS_EMULATOR qemu-aarch64)
if(QUILLMARSH_CROSS_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QUILLMARSH_CROSS_EMULATOR})
endif()
