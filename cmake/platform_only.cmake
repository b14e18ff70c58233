# The build of the platform layer alone, with the snapshot table over the system's snapshot
# backend and their tests: what the cross build for Windows compiles and runs under Wine here,
# where there are no Windows builds of SQLite, OpenSSL or zlib. corvio_core holds only the
# pieces that need none of them.
add_library(corvio_core STATIC src/util/text.cpp src/util/ini.cpp src/base/display.cpp
            src/util/format_count.cpp)
target_include_directories(corvio_core PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(corvio_core PUBLIC Threads::Threads)
add_subdirectory(src/platform)
add_subdirectory(src/vss)

if(CORVIO_TESTS)
  enable_testing()
  # GoogleTest from the sources of Debian's googletest package, built for the target.
  set(CORVIO_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${CORVIO_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

  add_library(corvio_test_support STATIC tests/support/temp_dir.cpp)
  target_include_directories(corvio_test_support PUBLIC ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(corvio_test_support PUBLIC corvio_core gtest)

  # One CTest test per program: each start of a program under Wine costs about a second.
  function(corvio_test name)
    add_executable(${name} ${ARGN})
    target_link_libraries(${name} PRIVATE corvio_test_support gtest_main)
    add_test(NAME ${name} COMMAND ${name})
  endfunction()
  add_subdirectory(tests/platform)
endif()
