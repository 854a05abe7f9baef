coreio_add_test(PersistenceCoreIoTest SOURCES MemoryLoaderTest.cpp LIBS Persistence_CoreIo GTest::gmock)
