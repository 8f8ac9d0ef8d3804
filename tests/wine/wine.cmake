# Tests that run Windows programs under Wine (64-bit build only: this kernel runs no 32-bit programs).
set(KORVANE_WINE_RUN ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh)

# The Win32 layer's sector I/O against an image file, proving the Wine path works.
add_executable(korvane_wine_smoke ${CMAKE_CURRENT_LIST_DIR}/smoke_sectorio.cpp)
target_link_libraries(korvane_wine_smoke PRIVATE korvane_core korvane_win32 gtest gtest_main)
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  add_test(NAME wine_smoke_sectorio COMMAND ${KORVANE_WINE_RUN} $<TARGET_FILE:korvane_wine_smoke>)
  set_tests_properties(wine_smoke_sectorio PROPERTIES LABELS wine TIMEOUT 300)
endif()

include(${CMAKE_CURRENT_LIST_DIR}/gui.cmake OPTIONAL)
