# Fails when the library contains a fused multiply-add, on x86-64 or 64-bit ARM. A fused a * b + c
# rounds once where the library's arithmetic rounds twice, so one contraction the compiler slips
# in (AArch64 compilers fuse by default; -ffp-contract=off stops them) or one fused intrinsic in
# vector code changes output bits. The library has none at all, the vector math included.
# Usage: cmake -DOBJDUMP=<the toolchain's objdump> -DLIBRARY=libchordsmith.so -P check_no_fma.cmake
#
# The mnemonics. AArch64: scalar FMADD, FMSUB, FNMADD, FNMSUB; Advanced SIMD FMLA and FMLS (by
# vector and by element) and the widening FMLAL/FMLSL(2); BFloat16 BFMLALB/T; SVE FMAD, FMSB,
# FNMAD, FNMSB, FNMLA, FNMLS. x86-64: FMA3's VFMADD/VFMSUB/VFNMADD/VFNMSUB in every form
# (132/213/231, packed and scalar, and the ADDSUB/SUBADD kinds), FMA4's, AVX-512's 4FMAPS
# (V4FMADD, V4FNMADD), the half-precision complex VFMADDC/VFCMADDC and BF16's VDPBF16PS.
if(NOT OBJDUMP)
  set(OBJDUMP objdump)
endif()
execute_process(COMMAND ${OBJDUMP} -d --no-show-raw-insn ${LIBRARY}
  OUTPUT_VARIABLE listing RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -d failed on ${LIBRARY}: ${err}")
endif()

set(fused "^(fn?madd|fn?msub|fn?mla|fn?mls|fml[as]l2?|bfml[as]l[bt]|fn?mad|fn?msb)$")
set(fused_x86 "^(v4?fn?m(add|sub)[a-z0-9]*|vfc?maddc[a-z0-9]*|vdpbf16ps)$")
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
    set(mnemonic "${CMAKE_MATCH_1}")
    if(mnemonic MATCHES "${fused}" OR mnemonic MATCHES "${fused_x86}")
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
