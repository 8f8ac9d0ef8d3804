# Tests that run Windows programs under Wine. The 64-bit build runs under the machine's wine64; the 32-bit build as
# a 32-bit program on 64-bit Windows (WoW64), its 32-bit half under qemu-i386 (scripts/wine32-run.sh), and in a
# 32-bit prefix as on Windows XP and 2000.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(KORVANE_WINE_RUN ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh)
else()
  set(KORVANE_WINE_RUN ${CMAKE_SOURCE_DIR}/scripts/wine32-run.sh)
  set(KORVANE_OLD_WINDOWS winxp win2k)
endif()

# Test wine_NAME runs program TARGET, and wine_VERSION_NAME runs it in each older system's prefix; the remaining
# arguments are more test properties.
function(korvane_wine_test name target)
  add_test(NAME wine_${name} COMMAND ${KORVANE_WINE_RUN} $<TARGET_FILE:${target}>)
  set_tests_properties(wine_${name} PROPERTIES LABELS wine TIMEOUT 300 ${ARGN})
  foreach(version ${KORVANE_OLD_WINDOWS})
    add_test(NAME wine_${version}_${name}
      COMMAND ${KORVANE_WINE_RUN} --arch win32 --winver ${version} $<TARGET_FILE:${target}>)
    set_tests_properties(wine_${version}_${name} PROPERTIES LABELS wine TIMEOUT 300 RESOURCE_LOCK wine_${version}
      ${ARGN})
  endforeach()
endfunction()

# The Win32 layer's sector I/O against an image file, proving the Wine path works.
add_executable(korvane_wine_smoke ${CMAKE_CURRENT_LIST_DIR}/smoke_sectorio.cpp)
target_link_libraries(korvane_wine_smoke PRIVATE korvane_core korvane_win32 gtest gtest_main)
korvane_wine_test(smoke_sectorio korvane_wine_smoke)

include(${CMAKE_CURRENT_LIST_DIR}/gui.cmake OPTIONAL)

# The filter driver image, loaded in-process and driven through Wine's ntoskrnl above an in-memory disk.
# driver_host.c is kernel-side C: the DDK headers and no Windows version macros of the program.
add_executable(korvane_driver_tests ${CMAKE_CURRENT_LIST_DIR}/driver_test.cpp ${CMAKE_CURRENT_LIST_DIR}/driver_host.c)
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/driver_host.c PROPERTIES
  INCLUDE_DIRECTORIES /usr/share/mingw-w64/include/ddk COMPILE_OPTIONS "-U_WIN32_WINNT;-UWINVER;-std=c99")
target_link_libraries(korvane_driver_tests PRIVATE gtest gtest_main ntoskrnl)
add_dependencies(korvane_driver_tests dunmarle_driver)
korvane_wine_test(driver korvane_driver_tests ENVIRONMENT "KORVANE_DRIVER=Z:${CMAKE_BINARY_DIR}/Dunmarle.sys")

# The driver as the service switch installs it, loaded and unloaded by Wine's driver host: a 32-bit driver loads
# only into a 32-bit system, so this runs in the Windows XP and 2000 prefixes. It restarts its prefix's system, so
# the tests of one prefix take turns (RESOURCE_LOCK).
if(KORVANE_OLD_WINDOWS)
  add_executable(korvane_service_tests ${CMAKE_CURRENT_LIST_DIR}/service_test.cpp)
  target_link_libraries(korvane_service_tests PRIVATE korvane_core korvane_win32 gtest gtest_main)
  add_dependencies(korvane_service_tests dunmarle_driver)
  foreach(version ${KORVANE_OLD_WINDOWS})
    add_test(NAME wine_${version}_driver_service
      COMMAND ${KORVANE_WINE_RUN} --arch win32 --winver ${version} --exec bash -c
        "$WINE \"$0\" --gtest_filter=*Installs* || exit 1; /usr/lib/wine/wineserver -k; /usr/lib/wine/wineserver -w; $WINE \"$0\" --gtest_filter=*Loads*"
        $<TARGET_FILE:korvane_service_tests>)
    set_tests_properties(wine_${version}_driver_service PROPERTIES LABELS wine TIMEOUT 300 RESOURCE_LOCK wine_${version}
      ENVIRONMENT "KORVANE_DRIVER=Z:${CMAKE_BINARY_DIR}/Dunmarle.sys")
  endforeach()
endif()
