# The Windows program: Korvane.exe over the real system, Korvane-sim.exe over the simulated machine.
file(GLOB KORVANE_GUI_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/app/gui/*.cpp ${CMAKE_SOURCE_DIR}/src/pages/*.cpp)
file(GLOB KORVANE_SIMHOST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/app/simhost/*.cpp)
set(KORVANE_ENTRY ${CMAKE_SOURCE_DIR}/src/app/gui/entry/winmain.cpp)

add_library(korvane_gui STATIC ${KORVANE_GUI_SOURCES} ${CMAKE_SOURCE_DIR}/src/app/gui/gui.cmake)
target_link_libraries(korvane_gui PUBLIC korvane_core comctl32 setupapi shlwapi gdi32 user32)

add_executable(Korvane WIN32 ${KORVANE_ENTRY})
target_link_libraries(Korvane PRIVATE korvane_gui korvane_win32)

add_executable(Korvane-sim WIN32 ${KORVANE_ENTRY} ${KORVANE_SIMHOST_SOURCES})
target_link_libraries(Korvane-sim PRIVATE korvane_gui korvane_sim)
target_compile_definitions(Korvane-sim PRIVATE KORVANE_SIMULATED=1)
