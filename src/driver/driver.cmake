# Dunmarle.sys, the multi-floppy disk filter driver, built with the build's MinGW-w64 C compiler against its DDK
# headers and linked by hand: no C runtime, native subsystem, DriverEntry as the entry, only ntoskrnl.exe and
# HAL.dll imported (libgcc gives the 32-bit build its 64-bit division). The image is checked after the link
# (cmake/driver_image.py), which also writes its PE checksum, and lands beside Korvane.exe and Korvane-sim.exe.
enable_language(ASM)

if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(DUNMARLE_COPY ${CMAKE_SOURCE_DIR}/src/driver/usercopy_x64.S)
  set(DUNMARLE_LINK_FLAGS -Wl,--entry,DriverEntry -Wl,--subsystem,native:5.2 -Wl,--image-base,0x10000)
else()
  set(DUNMARLE_COPY ${CMAKE_SOURCE_DIR}/src/driver/usercopy_x86.S)
  set(DUNMARLE_LINK_FLAGS -Wl,--entry,_DriverEntry@8 -Wl,--subsystem,native:5.0 -Wl,--image-base,0x10000)
endif()

add_library(dunmarle_objects OBJECT
  ${CMAKE_SOURCE_DIR}/src/driver/dunmarle.c ${CMAKE_SOURCE_DIR}/src/driver/usercopy.c ${DUNMARLE_COPY})
target_include_directories(dunmarle_objects SYSTEM PRIVATE /usr/share/mingw-w64/include/ddk)
target_compile_options(dunmarle_objects PRIVATE
  # The program's Windows version macros are not the kernel headers' business.
  $<$<COMPILE_LANGUAGE:C>:-U_WIN32_WINNT -UWINVER -std=c99 -fno-builtin -fno-stack-protector -mno-stack-arg-probe>)
# The 64-bit kernel walks stacks by the images' unwind data, so that build keeps it; the 32-bit one has no use for
# DWARF unwind tables.
if(NOT CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  target_compile_options(dunmarle_objects PRIVATE $<$<COMPILE_LANGUAGE:C>:-fno-asynchronous-unwind-tables>)
endif()

set(DUNMARLE_SYS ${CMAKE_BINARY_DIR}/Dunmarle.sys)
add_custom_command(OUTPUT ${DUNMARLE_SYS}
  COMMAND ${CMAKE_C_COMPILER} -nostdlib -s -Wl,--dynamicbase ${DUNMARLE_LINK_FLAGS} $<TARGET_OBJECTS:dunmarle_objects>
          -lntoskrnl -lhal -lgcc -o ${DUNMARLE_SYS}
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/cmake/driver_image.py --fix-checksum ${DUNMARLE_SYS}
  DEPENDS dunmarle_objects $<TARGET_OBJECTS:dunmarle_objects> ${CMAKE_SOURCE_DIR}/cmake/driver_image.py
  COMMAND_EXPAND_LISTS
  COMMENT "Linking the filter driver Dunmarle.sys")
add_custom_target(dunmarle_driver ALL DEPENDS ${DUNMARLE_SYS})

# In the test run: the image as the build checked it (subsystem, imports from ntoskrnl.exe and HAL.dll only,
# checksum), and every function it imports held against the oldest Windows the build promises (cmake/imports.cmake).
add_test(NAME driver_image COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/cmake/driver_image.py ${DUNMARLE_SYS})
add_test(NAME imports_Dunmarle
  COMMAND Python3::Interpreter ${KORVANE_CHECK_IMPORTS} ${DUNMARLE_SYS} ${KORVANE_WINDOWS_TARGET})
set_tests_properties(driver_image imports_Dunmarle PROPERTIES LABELS imports)
