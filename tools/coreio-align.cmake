# The command-line tool. Everything but main is a library, so that tests, benchmarks and other
# front ends reach the same code.
find_package(PkgConfig REQUIRED)
pkg_check_modules(CAIRO REQUIRED IMPORTED_TARGET GLOBAL cairo)  # the picture test reads PNGs back
find_package(CLI11 REQUIRED)

add_library(coreio_align_core STATIC
    coreio-align/CommandLine.cpp
    coreio-align/AlignmentLog.cpp
    coreio-align/AlignmentReport.cpp
    coreio-align/PairAlignment.cpp
    coreio-align/FileAlignment.cpp
    coreio-align/FileListing.cpp
    coreio-align/Demo.cpp
    coreio-align/FieldTransfer.cpp
    coreio-align/Picture.cpp)
target_include_directories(coreio_align_core PUBLIC "${CMAKE_CURRENT_SOURCE_DIR}/coreio-align")
target_link_libraries(coreio_align_core
    PUBLIC Business_CoreIoLoadUtilities Business_Algorithm Business_EvaluationGeometry Persistence_CoreIo
    PRIVATE CoreIoSamples Persistence_SkinBaseName spdlog::spdlog PkgConfig::CAIRO CLI11::CLI11)
set_target_properties(coreio_align_core PROPERTIES POSITION_INDEPENDENT_CODE ON)
coreio_warnings(coreio_align_core)

add_executable(coreio-align coreio-align/main.cpp)
target_link_libraries(coreio-align PRIVATE coreio_align_core)
target_compile_definitions(coreio-align PRIVATE COREIO_VERSION="${PROJECT_VERSION}")
coreio_warnings(coreio-align)
set_target_properties(coreio-align PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
install(TARGETS coreio-align RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
