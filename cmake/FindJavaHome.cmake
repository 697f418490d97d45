# CMake's FindJNI and FindJava need JAVA_HOME, which fresh machines do not set.
# Derive it from the real path of javac (…/bin/javac -> …).
if(NOT DEFINED ENV{JAVA_HOME} OR "$ENV{JAVA_HOME}" STREQUAL "")
  find_program(CHORDSMITH_JAVAC javac REQUIRED)
  file(REAL_PATH "${CHORDSMITH_JAVAC}" _javac_real)
  get_filename_component(_java_bin "${_javac_real}" DIRECTORY)
  get_filename_component(_java_home "${_java_bin}" DIRECTORY)
  set(ENV{JAVA_HOME} "${_java_home}")
  message(STATUS "JAVA_HOME derived from javac: ${_java_home}")
endif()
set(JAVA_HOME "$ENV{JAVA_HOME}")
