# Installs the build into a fresh PREFIX and checks that the programs land in PREFIX/bin and run.
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD}" --prefix "${PREFIX}"
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${rc}")
endif()
foreach(program corvio corvioctl corvio-server)
  if(NOT EXISTS "${PREFIX}/bin/${program}")
    message(FATAL_ERROR "${program} was not installed into ${PREFIX}/bin")
  endif()
  execute_process(COMMAND "${PREFIX}/bin/${program}" --help RESULT_VARIABLE rc OUTPUT_QUIET
                  ERROR_QUIET)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "the installed ${program} --help exited with ${rc}")
  endif()
endforeach()
file(REMOVE_RECURSE "${PREFIX}")
