# Initial cache (cmake -C) of the build whose libraries are compared with the ABI baseline in abi/: the
# release configuration with debug information, which abidw needs to see record layouts and virtual
# tables. Only the libraries matter, so nothing else is built. The baseline and every check use it.
set(CMAKE_BUILD_TYPE Release CACHE STRING "")
set(CMAKE_CXX_FLAGS "-g" CACHE STRING "")
set(COREIO_BUILD_TESTS OFF CACHE BOOL "")
set(COREIO_BUILD_TOOLS OFF CACHE BOOL "")
set(COREIO_BUILD_BENCHMARKS OFF CACHE BOOL "")
