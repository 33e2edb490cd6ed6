# Fails when an instruction-set object of the engine (a *_avx2, *_avx512 or *_neon file) defines a
# symbol that the linker may merge with a definition from another object: a weak, COMDAT or unique
# symbol, such as an inline library function that the compiler did not inline. The copy kept for
# the whole program could then be the one compiled for the instruction set, and the engine would
# stop running on processors without it.
#
# cmake -DNM=<nm> -DOBJECTS=<the engine's object files> -P check_isa_objects.cmake
set(isa_objects ${OBJECTS})
list(FILTER isa_objects INCLUDE REGEX "_(avx2|avx512|neon)\\.cpp\\.o(bj)?$")
if(NOT isa_objects)
  message(STATUS "no instruction-set objects in this build")
  return()
endif()

set(mergeable "")
foreach(object IN LISTS isa_objects)
  execute_process(COMMAND ${NM} --defined-only ${object}
                  OUTPUT_VARIABLE symbols RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${NM} failed on ${object}")
  endif()
  string(REGEX MATCHALL "[^\n]* [WVu] [^\n]*" found "${symbols}")
  # The exception tables' reference to the C++ personality routine is data, alike everywhere.
  list(FILTER found EXCLUDE REGEX " DW\\.ref\\.__gxx_personality_v0$")
  foreach(line IN LISTS found)
    string(APPEND mergeable "\n  ${object}: ${line}")
  endforeach()
endforeach()
if(mergeable)
  message(FATAL_ERROR "instruction-set objects define mergeable symbols:${mergeable}")
endif()
list(LENGTH isa_objects count)
message(STATUS "${count} instruction-set objects define no mergeable symbol")
