# The GUI under Wine: the program's sheet driven in-process by the harness (gui_harness.h), and Korvane-sim.exe run
# as a process. Runs in English and in Chinese; screenshots go to build/<preset>/screenshots.
file(GLOB KORVANE_GUI_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/gui_*.cpp)
add_executable(korvane_gui_tests ${KORVANE_GUI_TEST_SOURCES} $<TARGET_OBJECTS:korvane_resources>)
target_link_libraries(korvane_gui_tests PRIVATE korvane_simhost korvane_gui korvane_core korvane_sim gdiplus gtest gtest_main)
foreach(locale en_US zh_CN)
  add_test(NAME wine_gui_${locale} COMMAND ${KORVANE_WINE_RUN} $<TARGET_FILE:korvane_gui_tests>)
  set_tests_properties(wine_gui_${locale} PROPERTIES LABELS wine TIMEOUT 900 RUN_SERIAL TRUE
    ENVIRONMENT "LANG=${locale}.UTF-8;LC_ALL=${locale}.UTF-8;KORVANE_SCREENSHOT_DIR=${CMAKE_BINARY_DIR}/screenshots;KORVANE_SIM_EXE=$<TARGET_FILE:Korvane-sim>")
endforeach()
# Korvane-sim.exe as a process on the older systems (32-bit build): its pages, its machine file, its service switch.
foreach(version ${KORVANE_OLD_WINDOWS})
  add_test(NAME wine_${version}_sim_program COMMAND ${KORVANE_WINE_RUN} --arch win32 --winver ${version}
    $<TARGET_FILE:korvane_gui_tests> --gtest_filter=SimProgram.*)
  set_tests_properties(wine_${version}_sim_program PROPERTIES LABELS wine TIMEOUT 600 RESOURCE_LOCK wine_${version}
    ENVIRONMENT "LANG=en_US.UTF-8;LC_ALL=en_US.UTF-8;KORVANE_SIM_EXE=$<TARGET_FILE:Korvane-sim>")
endforeach()
