# Programs the import check must turn down, each for one reason; the pass of the shipped programs is tested in
# src/app/gui/gui.cmake. PASS_REGULAR_EXPRESSION names the fault line the check prints.
add_executable(probe_tick64 ${CMAKE_CURRENT_LIST_DIR}/probe_tick64.c)
add_executable(probe_vectored ${CMAKE_CURRENT_LIST_DIR}/probe_vectored.c)
add_executable(probe_unlisted_dll ${CMAKE_CURRENT_LIST_DIR}/probe_unlisted_dll.c)
target_link_libraries(probe_unlisted_dll PRIVATE shlwapi)
add_executable(probe_vista_header ${CMAKE_CURRENT_LIST_DIR}/probe_plain.c)
target_link_options(probe_vista_header PRIVATE
  -Wl,--major-subsystem-version,6,--minor-subsystem-version,0,--major-os-version,6,--minor-os-version,0)

function(korvane_import_check_test name binary target expected)
  add_test(NAME imports_${name}
    COMMAND Python3::Interpreter ${KORVANE_CHECK_IMPORTS} $<TARGET_FILE:${binary}> ${target})
  set_tests_properties(imports_${name} PROPERTIES LABELS imports PASS_REGULAR_EXPRESSION "${expected}")
endfunction()

korvane_import_check_test(rejects_vista_call probe_tick64 ${KORVANE_WINDOWS_TARGET}
  "probe_tick64.exe: not on Windows [^:]*: KERNEL32.dll GetTickCount64")
korvane_import_check_test(rejects_unlisted_dll probe_unlisted_dll ${KORVANE_WINDOWS_TARGET}
  "SHLWAPI.dll: no scripts/exports/shlwapi.dll.txt")
korvane_import_check_test(rejects_vista_header probe_vista_header ${KORVANE_WINDOWS_TARGET}
  "subsystem version 6.0 is newer than")
if(KORVANE_WINDOWS_TARGET STREQUAL "win2000-x86")
  korvane_import_check_test(rejects_xp_call probe_vectored win2000-x86
    "not on Windows 2000 \\(x86\\): KERNEL32.dll AddVectoredExceptionHandler")
  korvane_import_check_test(rejects_other_processor probe_vectored xp-x64 "processor 0x014c, not the target's 0x8664")
else()
  korvane_import_check_test(accepts_xp_call_on_xp_x64 probe_vectored xp-x64 "probe_vectored.exe: loads on")
  korvane_import_check_test(rejects_other_processor probe_vectored win2000-x86
    "processor 0x8664, not the target's 0x014c")
endif()
