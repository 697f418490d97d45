# Fails when the 64-bit ARM library contains a fused multiply-add. A fused a * b + c rounds once
# where the library's arithmetic rounds twice, so one contraction the compiler slips in (AArch64
# compilers fuse by default; -ffp-contract=off stops them) changes output bits.
# Usage: cmake -DOBJDUMP=<the toolchain's objdump> -DLIBRARY=libchordsmith.so -P check_no_fma.cmake
#
# The mnemonics: scalar FMADD, FMSUB, FNMADD, FNMSUB; Advanced SIMD FMLA and FMLS (by vector
# and by element) and the widening FMLAL/FMLSL(2); BFloat16 BFMLALB/T; SVE FMAD, FMSB, FNMAD,
# FNMSB, FNMLA, FNMLS.
if(NOT OBJDUMP)
  set(OBJDUMP objdump)
endif()
execute_process(COMMAND ${OBJDUMP} -d --no-show-raw-insn ${LIBRARY}
  OUTPUT_VARIABLE listing RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -d failed on ${LIBRARY}: ${err}")
endif()

set(fused "^(fn?madd|fn?msub|fn?mla|fn?mls|fml[as]l2?|bfml[as]l[bt]|fn?mad|fn?msb)$")
string(REPLACE ";" "," listing "${listing}")  # a semicolon would split a line in two
string(REPLACE "\n" ";" lines "${listing}")
set(function "")
set(instructions 0)
set(found "")
foreach(line IN LISTS lines)
  if(line MATCHES "^[0-9a-f]+ <(.*)>:$")
    set(function "${CMAKE_MATCH_1}")
  elseif(line MATCHES "^ +[0-9a-f]+:[ \t]+([a-z][a-z0-9.]*)")
    math(EXPR instructions "${instructions} + 1")
    if(CMAKE_MATCH_1 MATCHES "${fused}")
      string(STRIP "${line}" line)
      list(APPEND found "  ${function}: ${line}")
    endif()
  endif()
endforeach()

if(instructions EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} listed no instructions in ${LIBRARY}: is it the target's objdump?")
endif()
if(found)
  list(LENGTH found n)
  string(REPLACE ";" "\n" found "${found}")
  message(FATAL_ERROR "${n} fused multiply-add instructions in ${LIBRARY}:\n${found}\n"
    "Build with -ffp-contract=off and use no fused intrinsics (vfmaq_f32, std::fma, ...).")
endif()
message(STATUS "${instructions} instructions, no fused multiply-add")
