coreio_add_test(BuildersTest
    SOURCES BuildersTest.cpp
    LIBS Business_CoreIoLoadUtilities Business_BaseGeometry Persistence_CoreIo QRVService_ExceptionHandling CoreIoSamples)
