find_program(NCGEN_EXECUTABLE ncgen REQUIRED)
coreio_add_test(ExodusTest
    SOURCES ExodusLoaderTest.cpp ExodusWriterTest.cpp ExodusShellTestFile.cpp
    LIBS Persistence_CoreIo Business_CoreIoLoadUtilities Business_BaseGeometry QRVService_Logging GTest::gmock
         ${EXODUS_LIBRARY} ${NETCDF_LIBRARY})
target_include_directories(ExodusTest SYSTEM PRIVATE ${EXODUS_INCLUDE_DIR})
target_compile_definitions(ExodusTest PRIVATE COREIO_NCGEN="${NCGEN_EXECUTABLE}")
