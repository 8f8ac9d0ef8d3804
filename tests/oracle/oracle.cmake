# Build rules for the boot tests (native build only): the stand-in IO.SYS and
# builds of the boot programs that never use the INT 13h extensions, so that
# the CHS read path is booted too.

if(NOT NASM_EXECUTABLE)
  find_program(NASM_EXECUTABLE nasm REQUIRED)
endif()

set(KORVANE_TESTIO ${CMAKE_BINARY_DIR}/testio.sys)
add_custom_command(
  OUTPUT ${KORVANE_TESTIO}
  COMMAND ${NASM_EXECUTABLE} -f bin -w+all -o ${KORVANE_TESTIO} ${CMAKE_SOURCE_DIR}/tests/oracle/testio.asm
  DEPENDS ${CMAKE_SOURCE_DIR}/tests/oracle/testio.asm
  COMMENT "Assembling the test IO.SYS"
  VERBATIM)

set(KORVANE_CHS_DIR ${CMAKE_BINARY_DIR}/boot/chs)
file(MAKE_DIRECTORY ${KORVANE_CHS_DIR})
file(GLOB KORVANE_BOOT_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/boot/*.asm ${CMAKE_SOURCE_DIR}/src/boot/*.inc)
set(KORVANE_CHS_BINS)
foreach(prog boot622 boot71 mbr)
  add_custom_command(
    OUTPUT ${KORVANE_CHS_DIR}/${prog}.bin
    COMMAND ${NASM_EXECUTABLE} -f bin -w+all -DFORCE_CHS -I ${CMAKE_SOURCE_DIR}/src/boot/
            -o ${KORVANE_CHS_DIR}/${prog}.bin ${CMAKE_SOURCE_DIR}/src/boot/${prog}.asm
    DEPENDS ${KORVANE_BOOT_SOURCES}
    COMMENT "Assembling CHS-only ${prog} for the boot tests"
    VERBATIM)
  list(APPEND KORVANE_CHS_BINS ${KORVANE_CHS_DIR}/${prog}.bin)
endforeach()

add_custom_target(korvane_oracle_boot ALL DEPENDS ${KORVANE_TESTIO} ${KORVANE_CHS_BINS})
