# Optional vector code: Highway's headers (Debian libhwy-dev). The library uses Highway
# header-only, so nothing is linked and libchordsmith.so stays self-contained. Without the
# headers, or with CHORDSMITH_SIMD=OFF, only the portable path is built; it gives the same
# bits. A cross build may take the host's headers (they are the same for every architecture):
# they are looked for in the target's root first, then on the host.
option(CHORDSMITH_SIMD "Build the vector fast paths (needs Highway's headers)" ON)
set(CHORDSMITH_HWY_INCLUDE_DIR "" CACHE PATH "Folder holding hwy/highway.h, if not found by itself")

set(CHORDSMITH_HAVE_HWY OFF)
if(CHORDSMITH_SIMD)
  find_path(HWY_INCLUDE_DIR hwy/highway.h HINTS ${CHORDSMITH_HWY_INCLUDE_DIR})
  if(NOT HWY_INCLUDE_DIR)
    find_path(HWY_INCLUDE_DIR hwy/highway.h HINTS ${CHORDSMITH_HWY_INCLUDE_DIR} NO_CMAKE_FIND_ROOT_PATH)
  endif()
  if(HWY_INCLUDE_DIR)
    set(CHORDSMITH_HAVE_HWY ON)
    message(STATUS "Vector fast paths: Highway headers in ${HWY_INCLUDE_DIR}")
  else()
    message(STATUS "Vector fast paths: Highway headers not found, portable path only")
  endif()
endif()

# The compiler sees Highway's folder alone, through a link in the build tree: adding the
# host's /usr/include to a cross build would mix the host's C library headers in.
if(CHORDSMITH_HAVE_HWY)
  set(CHORDSMITH_HWY_LINK_DIR ${CMAKE_BINARY_DIR}/hwy-include)
  file(MAKE_DIRECTORY ${CHORDSMITH_HWY_LINK_DIR})
  file(CREATE_LINK ${HWY_INCLUDE_DIR}/hwy ${CHORDSMITH_HWY_LINK_DIR}/hwy SYMBOLIC)
endif()

# Applies the choice to a target compiling the library's sources.
function(chordsmith_use_simd target)
  if(CHORDSMITH_HAVE_HWY)
    target_compile_definitions(${target} PRIVATE CS_HAVE_HWY=1)
    target_include_directories(${target} SYSTEM PRIVATE ${CHORDSMITH_HWY_LINK_DIR})
  endif()
endfunction()
