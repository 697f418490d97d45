# Optional vector code: Highway (Debian libhwy-dev). The library uses Highway header-only, so
# nothing is linked and libchordsmith.so stays self-contained. Without it, or with
# CHORDSMITH_SIMD=OFF, only the portable path is built; it gives the same bits.
# Highway is found as the target's package (cmake/README.md): Debian's libhwy-dev on the build
# machine, libhwy-dev:arm64 in an aarch64 cross build, never the build machine's headers for
# another target. CHORDSMITH_HWY_INCLUDE_DIR names a folder by hand instead (an Android app that
# brings Highway's headers, say).
option(CHORDSMITH_SIMD "Build the vector fast paths (needs Highway)" ON)
set(CHORDSMITH_HWY_INCLUDE_DIR "" CACHE PATH "Folder holding hwy/highway.h, used instead of Highway's package")

set(CHORDSMITH_HAVE_HWY OFF)
if(CHORDSMITH_SIMD)
  set(HWY_INCLUDE_DIR "")
  if(CHORDSMITH_HWY_INCLUDE_DIR)
    set(HWY_INCLUDE_DIR ${CHORDSMITH_HWY_INCLUDE_DIR})
  else()
    find_package(hwy CONFIG QUIET)
    if(TARGET hwy::hwy)
      get_target_property(_hwy_includes hwy::hwy INTERFACE_INCLUDE_DIRECTORIES)
      foreach(dir IN LISTS _hwy_includes)
        if(EXISTS ${dir}/hwy/highway.h)
          set(HWY_INCLUDE_DIR ${dir})
          break()
        endif()
      endforeach()
    endif()
  endif()
  if(HWY_INCLUDE_DIR AND EXISTS ${HWY_INCLUDE_DIR}/hwy/highway.h)
    set(CHORDSMITH_HAVE_HWY ON)
    message(STATUS "Vector fast paths: Highway headers in ${HWY_INCLUDE_DIR}")
  else()
    message(STATUS "Vector fast paths: no Highway for ${CMAKE_SYSTEM_PROCESSOR}, portable path only")
  endif()
endif()

# The compiler sees Highway's folder alone, through a link in the build tree: adding all of
# /usr/include to a cross build would mix the build machine's C library headers in.
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
