# Fuzz targets for the code that reads untrusted disks, built with clang's libFuzzer under ASan and UBSan (the
# `fuzz` preset). Each runs as a test for a short fixed time, from its corpus in tests/fuzz/corpus/<name>; what it
# finds on the way goes to a temporary folder, so the tree's corpus stays as committed.
set(KORVANE_FUZZ_SECONDS 20 CACHE STRING "How long each fuzz test runs")
foreach(name sector0 block_scan sysfiles)
  add_executable(${name}_fuzz ${CMAKE_SOURCE_DIR}/tests/fuzz/${name}_fuzz.cpp)
  target_include_directories(${name}_fuzz PRIVATE ${CMAKE_SOURCE_DIR}/tests/fuzz)
  target_link_libraries(${name}_fuzz PRIVATE korvane_core korvane_sim)
  target_link_options(${name}_fuzz PRIVATE -fsanitize=fuzzer)
  add_test(NAME fuzz_${name}
           COMMAND sh ${CMAKE_SOURCE_DIR}/tests/fuzz/run_fuzz.sh $<TARGET_FILE:${name}_fuzz> ${KORVANE_FUZZ_SECONDS}
                   ${CMAKE_SOURCE_DIR}/tests/fuzz/corpus/${name})
  set_tests_properties(fuzz_${name} PROPERTIES LABELS fuzz TIMEOUT 120)
endforeach()
