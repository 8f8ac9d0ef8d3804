# The import check: every Windows program the build ships must load on the oldest system this build promises,
# Windows 2000 for the 32-bit build and Windows XP x64 / Server 2003 x64 for the 64-bit one.
# scripts/check-imports.py reads the program's PE header and import tables and holds them against
# scripts/exports/<dll>.txt.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(KORVANE_WINDOWS_TARGET xp-x64)
else()
  set(KORVANE_WINDOWS_TARGET win2000-x86)
endif()
set(KORVANE_CHECK_IMPORTS ${CMAKE_SOURCE_DIR}/scripts/check-imports.py)

# One ctest test per shipped binary (a program or a driver): fails naming every import the target system lacks.
function(korvane_check_imports target)
  add_test(NAME imports_${target}
    COMMAND Python3::Interpreter ${KORVANE_CHECK_IMPORTS} $<TARGET_FILE:${target}> ${KORVANE_WINDOWS_TARGET})
  set_tests_properties(imports_${target} PROPERTIES LABELS imports)
endfunction()
