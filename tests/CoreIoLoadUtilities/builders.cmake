coreio_add_test(BuildersTest
    SOURCES BaseGeometryMeshBuilderTest.cpp BaseGeometryToolMeshBuilderTest.cpp BaseGeometryPolyLineBuilderTest.cpp
            ScalarResultsBuilderTest.cpp
    LIBS Business_CoreIoLoadUtilities Business_BaseGeometry Persistence_CoreIo QRVService_ExceptionHandling)

