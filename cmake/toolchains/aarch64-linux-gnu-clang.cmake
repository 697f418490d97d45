# Cross build for 64-bit ARM Linux with clang, the compiler family of the Android NDK, using
# the GNU cross sysroot's C and C++ runtime (libc6-dev-arm64-cross, libstdc++-12-dev-arm64-cross):
#   cmake -S . -B build-aarch64-clang -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/aarch64-linux-gnu-clang.cmake
include(${CMAKE_CURRENT_LIST_DIR}/aarch64-linux-gnu.cmake)
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET aarch64-linux-gnu)
set(CMAKE_CXX_COMPILER_TARGET aarch64-linux-gnu)
# clang's driver links with the GNU cross binutils (binutils-aarch64-linux-gnu); archives,
# exported symbols and instruction listings are made with them too, so that LLVM's own tools
# need not be installed.
set(CMAKE_AR aarch64-linux-gnu-ar CACHE FILEPATH "")
set(CMAKE_RANLIB aarch64-linux-gnu-ranlib CACHE FILEPATH "")
set(CMAKE_NM aarch64-linux-gnu-nm CACHE FILEPATH "")
set(CMAKE_OBJDUMP aarch64-linux-gnu-objdump CACHE FILEPATH "")
