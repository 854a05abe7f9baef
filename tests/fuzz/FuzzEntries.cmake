# The fuzz entry function with what it checks and links: one library for the libFuzzer target and
# for the regression test of the normal build, which replays the stored inputs through it.
if(NOT TARGET CoreIoFuzzEntries)
    add_library(CoreIoFuzzEntries STATIC "${CMAKE_CURRENT_LIST_DIR}/ExodusLoaderFuzzEntry.cpp")
    target_include_directories(CoreIoFuzzEntries PUBLIC "${CMAKE_CURRENT_LIST_DIR}")
    target_link_libraries(CoreIoFuzzEntries PUBLIC
        Business_CoreIoLoadUtilities Business_BaseGeometry Persistence_CoreIo QRVService_ExceptionHandling)
    coreio_warnings(CoreIoFuzzEntries)
endif()
