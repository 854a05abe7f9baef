# The command-line tool; its parts are a library so that tests can drive them directly.
add_library(CoreIoAlignCommand STATIC
    coreio-align/CommandLine.cpp
    coreio-align/AlignmentLog.cpp
    coreio-align/AlignmentReport.cpp
    coreio-align/FileAlignment.cpp
    coreio-align/Demo.cpp)
target_include_directories(CoreIoAlignCommand PUBLIC "${CMAKE_CURRENT_SOURCE_DIR}/coreio-align")
target_link_libraries(CoreIoAlignCommand
    PUBLIC Business_CoreIoLoadUtilities Persistence_CoreIo
    PRIVATE CoreIoSamples CoreIo_Internal Persistence_SkinBaseName spdlog::spdlog)
coreio_warnings(CoreIoAlignCommand)

add_executable(coreio-align coreio-align/main.cpp)
target_link_libraries(coreio-align PRIVATE CoreIoAlignCommand)
target_compile_definitions(coreio-align PRIVATE COREIO_VERSION="${PROJECT_VERSION}")
coreio_warnings(coreio-align)
set_target_properties(coreio-align PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
install(TARGETS coreio-align RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
