# What the two aarch64-linux-gnu toolchain files share: the target, where libraries for it
# are looked for, and how its programs run on the build machine.
#
# Libraries come from Debian's arm64 multiarch folders (/usr/lib/aarch64-linux-gnu, filled by
# `dpkg --add-architecture arm64` and packages such as libhwy-dev:arm64) and from the cross
# sysroot /usr/aarch64-linux-gnu; programs (javac, qemu, nm) always come from the build machine.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)

set(CHORDSMITH_AARCH64_SYSROOT /usr/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH ${CHORDSMITH_AARCH64_SYSROOT} /)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# pkg-config must describe arm64 packages, never the build machine's.
set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

# Test programs run under qemu-user, each pinned to one CPU: qemu-user 7.2 lets a sequentially
# consistent store followed by a sequentially consistent load on another thread be reordered,
# which the filter hand-over relies on; on one CPU the threads interleave but never overlap.
# Each program gets the CPU it started on, so that tests run side by side still use them all.
# -L points the emulated loader at the target's C and C++ runtime.
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(CHORDSMITH_QEMU_AARCH64 qemu-aarch64)
  if(CHORDSMITH_QEMU_AARCH64)
    set(CMAKE_CROSSCOMPILING_EMULATOR /bin/sh ${CMAKE_CURRENT_LIST_DIR}/run-on-one-cpu.sh
      ${CHORDSMITH_QEMU_AARCH64} -L ${CHORDSMITH_AARCH64_SYSROOT} CACHE STRING "How aarch64 test programs run here")
  endif()
endif()
