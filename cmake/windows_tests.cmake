# The tests of the Windows build, run under Wine by scripts/test-windows: the platform layer's
# contract tests, the snapshot table over the system's snapshot backend, the Windows TLS and
# MD5 pieces, and the dialogs driven through their controls. The rest of the client is the same
# code as on Linux, tested there; the Wine end-to-end (scripts/windows-e2e) runs the programs.

# GoogleTest from the sources of Debian's googletest package, built for the target.
set(CORVIO_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${CORVIO_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

add_library(corvio_test_support STATIC tests/support/temp_dir.cpp
            tests/support/test_file_system.cpp)
target_include_directories(corvio_test_support PUBLIC ${CMAKE_SOURCE_DIR}/tests)
target_link_libraries(corvio_test_support PUBLIC corvio_core gtest)

# One CTest test per program: each start of a program under Wine costs about a second.
function(corvio_test name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE corvio_test_support gtest_main)
  add_test(NAME ${name} COMMAND ${name})
endfunction()
add_subdirectory(tests/platform)
add_subdirectory(tests/vss)
add_subdirectory(tests/net/windows)
add_subdirectory(tests/ui/win32)
