# Generates the JNI header of NativeInterface.java with `javac -h` into WORK, then either
# compares it with the committed copy in jni/ (the default) or, with -DUPDATE=ON, writes it
# over the committed copy.
# Usage: cmake -DJAVAC=javac -DSOURCE=NativeInterface.java -DCOMMITTED=jni/<header>.h
#              -DWORK=<directory in the build tree> [-DUPDATE=ON] -P jni_header.cmake
file(REMOVE_RECURSE ${WORK})
execute_process(COMMAND ${JAVAC} -h ${WORK}/headers -d ${WORK}/classes ${SOURCE}
  RESULT_VARIABLE javac_rc)
if(NOT javac_rc EQUAL 0)
  message(FATAL_ERROR "javac -h failed on ${SOURCE}")
endif()
get_filename_component(header_name ${COMMITTED} NAME)
set(generated ${WORK}/headers/${header_name})
if(NOT EXISTS ${generated})
  message(FATAL_ERROR "javac -h did not write ${header_name}: was the class renamed or moved?")
endif()

if(UPDATE)
  file(COPY_FILE ${generated} ${COMMITTED} ONLY_IF_DIFFERENT)
  message(STATUS "${COMMITTED} is up to date")
  return()
endif()

execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${generated} ${COMMITTED} RESULT_VARIABLE differ)
if(differ)
  message(FATAL_ERROR "${COMMITTED} no longer matches ${SOURCE}.\n"
    "Refresh it with `cmake --build <build dir> --target jni_header` and commit it "
    "(the library includes it so that the compiler checks every JNI method against the class).")
endif()
message(STATUS "${header_name} matches ${SOURCE}")
