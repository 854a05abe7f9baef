find_program(NCGEN_EXECUTABLE ncgen REQUIRED)
find_program(NCCOPY_EXECUTABLE nccopy REQUIRED)
coreio_add_test(ExodusTest
    SOURCES ExodusLoaderTest.cpp ExodusWriterTest.cpp
    LIBS Persistence_CoreIo CoreIoSamples Business_CoreIoLoadUtilities Business_BaseGeometry QRVService_Logging GTest::gmock
         ${EXODUS_LIBRARY} ${NETCDF_LIBRARY})
target_include_directories(ExodusTest SYSTEM PRIVATE ${EXODUS_INCLUDE_DIR})
target_compile_definitions(ExodusTest PRIVATE COREIO_NCGEN="${NCGEN_EXECUTABLE}" COREIO_NCCOPY="${NCCOPY_EXECUTABLE}")
find_package(Threads REQUIRED)
coreio_add_test(ExodusThreadTest
    SOURCES ExodusThreadTest.cpp
    LIBS Persistence_CoreIo CoreIoSamples Threads::Threads
    LABELS threads)
# The loader's internal units, compiled in: the library exports only its interface.
coreio_add_test(ExodusBodyAssemblyTest
    SOURCES ExodusBodyAssemblyTest.cpp ${PROJECT_SOURCE_DIR}/Platform/Persistence_CoreIo/ExodusBodyAssembly.cpp
            ${PROJECT_SOURCE_DIR}/Platform/Persistence_CoreIo/ExodusElements.cpp
    LIBS Persistence_CoreIo GTest::gmock)
