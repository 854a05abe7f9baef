# Body loading and mesh alignment. AlignmentTest compiles the library's sources itself and defines
# scripted stand-ins for the aligner and the tube converter in place of their libraries;
# MeshAlignQualityTest drives the real ones through the built library.
set(COREIO_MESH_ALIGN_UTILS_SOURCE ${COREIO_LOAD_UTILITIES_SOURCES})
list(FILTER COREIO_MESH_ALIGN_UTILS_SOURCE INCLUDE REGEX "/MeshAlignUtils\\.cpp$")

coreio_add_test(AlignmentTest
    SOURCES MeshAlignUtilsTest.cpp ${COREIO_LOAD_UTILITIES_SOURCES}
    LIBS ${COREIO_LOAD_UTILITIES_BASE_LIBS} CoreIoSamples)
target_include_directories(AlignmentTest PRIVATE
    "${PROJECT_SOURCE_DIR}/Platform/CoreIo/Business/CoreIoLoadUtilities" "${COREIO_EXPORT_DIR}"
    "${CMAKE_CURRENT_SOURCE_DIR}/alignment")
target_compile_definitions(AlignmentTest PRIVATE
    COREIO_MESH_ALIGN_UTILS_SOURCE="${COREIO_MESH_ALIGN_UTILS_SOURCE}")

coreio_add_test(MeshAlignQualityTest
    SOURCES MeshAlignQualityTest.cpp
    LIBS Business_CoreIoLoadUtilities Business_EvaluationGeometry CoreIoSamples QRVService_Logging)
target_include_directories(MeshAlignQualityTest PRIVATE "${CMAKE_CURRENT_SOURCE_DIR}/alignment")
target_compile_definitions(MeshAlignQualityTest PRIVATE
    COREIO_MESH_ALIGN_UTILS_SOURCE="${COREIO_MESH_ALIGN_UTILS_SOURCE}")
