coreio_add_test(BuildersTest
    SOURCES BaseGeometryMeshBuilderTest.cpp BaseGeometryToolMeshBuilderTest.cpp BaseGeometryPolyLineBuilderTest.cpp
            ScalarResultsBuilderTest.cpp
    LIBS Business_CoreIoLoadUtilities Business_BaseGeometry Persistence_CoreIo QRVService_ExceptionHandling)

# Reads the library's dynamic symbol table, so it needs the library's path.
coreio_add_test(BuilderExportsTest SOURCES BuilderExportsTest.cpp LIBS Business_CoreIoLoadUtilities)
target_compile_definitions(BuilderExportsTest PRIVATE
    COREIO_LOAD_UTILITIES_LIBRARY="$<TARGET_FILE:Business_CoreIoLoadUtilities>")
