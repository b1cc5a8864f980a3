# One way to declare a libFuzzer target: the code under test is compiled into
# the binary so that all of it is instrumented, every target joins `fuzz_all`,
# and ctest replays its seeds and past crash inputs once (label "fuzz").
#
#   velmora_add_fuzzer(NAME x SOURCES ... [INCLUDES ...] [LIBRARIES ...] CORPUS dir...)
add_custom_target(fuzz_all)
set(VELMORA_FUZZ_FLAGS -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -g)

function(velmora_add_fuzzer)
  cmake_parse_arguments(F "" "NAME" "SOURCES;INCLUDES;LIBRARIES;CORPUS" ${ARGN})
  add_executable(${F_NAME} ${F_SOURCES})
  target_include_directories(${F_NAME} PRIVATE ${F_INCLUDES})
  target_compile_options(${F_NAME} PRIVATE ${VELMORA_FUZZ_FLAGS})
  target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(${F_NAME} PRIVATE ${F_LIBRARIES})
  add_dependencies(fuzz_all ${F_NAME})
  set(replay)
  foreach(dir ${F_CORPUS})
    if(EXISTS ${dir})
      list(APPEND replay ${dir})
    endif()
  endforeach()
  add_test(NAME ${F_NAME}_replay COMMAND ${F_NAME} -runs=0 ${replay})
  set_tests_properties(${F_NAME}_replay PROPERTIES LABELS fuzz)
endfunction()
