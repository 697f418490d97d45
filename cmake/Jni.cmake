# Where jni.h comes from. The library needs only the header: it never links the JVM, whose
# JNI the loading VM provides, so no JVM or AWT library is looked for.
#  - Android: the NDK's sysroot puts jni.h on the compiler's own include path; no JDK is used.
#  - Everywhere else, cross builds included: the build machine's JDK (JAVA_HOME, or derived
#    from javac). Its jni.h is the same for every target, and the jni_md.h beside it fixes
#    only the export attribute and jint/jlong, which agree on every Linux target.
# Either folder can be given by hand: -DCHORDSMITH_JNI_INCLUDE_DIR=... -DCHORDSMITH_JNI_MD_INCLUDE_DIR=...
add_library(chordsmith_jni INTERFACE)
if(ANDROID)
  include(CheckIncludeFileCXX)
  check_include_file_cxx(jni.h CHORDSMITH_HAVE_NDK_JNI_H)
  if(NOT CHORDSMITH_HAVE_NDK_JNI_H)
    message(FATAL_ERROR "jni.h not found in the NDK's sysroot: is CMAKE_TOOLCHAIN_FILE the NDK's android.toolchain.cmake?")
  endif()
  return()
endif()

if(NOT CHORDSMITH_JNI_INCLUDE_DIR OR NOT CHORDSMITH_JNI_MD_INCLUDE_DIR)
  include(${CMAKE_CURRENT_LIST_DIR}/FindJavaHome.cmake)
endif()
string(TOLOWER "${CMAKE_SYSTEM_NAME}" _jni_platform)
# NO_CMAKE_FIND_ROOT_PATH: in a cross build the JDK is the build machine's, outside the
# target's sysroot.
find_path(CHORDSMITH_JNI_INCLUDE_DIR jni.h PATHS "${JAVA_HOME}/include"
  NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
find_path(CHORDSMITH_JNI_MD_INCLUDE_DIR jni_md.h PATHS "${JAVA_HOME}/include"
  PATH_SUFFIXES ${_jni_platform} linux darwin win32 freebsd NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(NOT CHORDSMITH_JNI_INCLUDE_DIR OR NOT CHORDSMITH_JNI_MD_INCLUDE_DIR)
  message(FATAL_ERROR "jni.h and jni_md.h not found under JAVA_HOME=${JAVA_HOME}/include: "
    "install a JDK (openjdk-17-jdk-headless) or set CHORDSMITH_JNI_INCLUDE_DIR and CHORDSMITH_JNI_MD_INCLUDE_DIR")
endif()
target_include_directories(chordsmith_jni INTERFACE ${CHORDSMITH_JNI_INCLUDE_DIR} ${CHORDSMITH_JNI_MD_INCLUDE_DIR})
