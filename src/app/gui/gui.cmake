# The Windows program: Korvane.exe over the real system, Korvane-sim.exe over the simulated machine.
file(GLOB KORVANE_GUI_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/ui/*.cpp ${CMAKE_SOURCE_DIR}/src/app/gui/*.cpp
  ${CMAKE_SOURCE_DIR}/src/pages/*.cpp)
file(GLOB KORVANE_SIMHOST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/app/simhost/*.cpp)
set(KORVANE_ENTRY ${CMAKE_SOURCE_DIR}/src/app/entry/winmain.cpp)

add_library(korvane_gui STATIC ${KORVANE_GUI_SOURCES} ${CMAKE_SOURCE_DIR}/src/app/gui/gui.cmake)
target_link_libraries(korvane_gui PUBLIC korvane_words korvane_core comctl32 comdlg32 shell32 ole32 setupapi shlwapi gdi32 user32)

# What the simulated program adds: the machine file and device events as window messages.
add_library(korvane_simhost STATIC ${KORVANE_SIMHOST_SOURCES})
# The core calls the seam, so the seam's library comes after the core on the link line.
target_link_libraries(korvane_simhost PUBLIC korvane_gui korvane_core korvane_sim)

# Resources: dialogs, icon, version information and a manifest naming the build's processor.
enable_language(RC)
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(KORVANE_MANIFEST_ARCH amd64)
else()
  set(KORVANE_MANIFEST_ARCH x86)
endif()
configure_file(${CMAKE_SOURCE_DIR}/resources/korvane.manifest.in ${CMAKE_BINARY_DIR}/resources/korvane.manifest @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/resources/korvane_version.h.in ${CMAKE_BINARY_DIR}/resources/korvane_version.h @ONLY)
add_library(korvane_resources OBJECT ${CMAKE_SOURCE_DIR}/resources/korvane.rc)
target_include_directories(korvane_resources PRIVATE ${CMAKE_SOURCE_DIR}/resources ${CMAKE_BINARY_DIR}/resources)
set_source_files_properties(${CMAKE_SOURCE_DIR}/resources/korvane.rc PROPERTIES OBJECT_DEPENDS
  "${CMAKE_SOURCE_DIR}/resources/korvane.ico;${CMAKE_BINARY_DIR}/resources/korvane.manifest;${CMAKE_BINARY_DIR}/resources/korvane_version.h;${CMAKE_SOURCE_DIR}/src/ui/resource_ids.h")

add_executable(Korvane WIN32 ${KORVANE_ENTRY} $<TARGET_OBJECTS:korvane_resources>)
target_link_libraries(Korvane PRIVATE korvane_gui korvane_core korvane_win32)

add_executable(Korvane-sim WIN32 ${KORVANE_ENTRY} $<TARGET_OBJECTS:korvane_resources>)
target_link_libraries(Korvane-sim PRIVATE korvane_simhost)
target_compile_definitions(Korvane-sim PRIVATE KORVANE_SIMULATED=1)

korvane_check_imports(Korvane)
korvane_check_imports(Korvane-sim)
# The simulated program's service switch looks for the driver file beside it.
add_dependencies(Korvane-sim dunmarle_driver)
