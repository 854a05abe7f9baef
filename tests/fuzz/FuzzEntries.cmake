# The fuzz entry functions with what they check and link: one library for the libFuzzer targets
# and for the regression test of the normal build, which replays the stored inputs through them.
if(NOT TARGET CoreIoFuzzEntries)
    add_library(CoreIoFuzzEntries STATIC
        "${CMAKE_CURRENT_LIST_DIR}/ExodusLoaderFuzzEntry.cpp"
        "${CMAKE_CURRENT_LIST_DIR}/FuzzChecks.cpp"
        "${CMAKE_CURRENT_LIST_DIR}/MemoryLoaderFuzzEntry.cpp"
        "${CMAKE_CURRENT_LIST_DIR}/MemoryLoaderProgram.cpp"
        "${CMAKE_CURRENT_LIST_DIR}/ServingToolMeshProvider.cpp")
    target_include_directories(CoreIoFuzzEntries PUBLIC "${CMAKE_CURRENT_LIST_DIR}")
    target_link_libraries(CoreIoFuzzEntries PUBLIC
        Business_CoreIoLoadUtilities Business_BaseGeometry Persistence_CoreIo Persistence_SkinBaseName
        QRVService_ExceptionHandling)
    coreio_warnings(CoreIoFuzzEntries)
endif()
