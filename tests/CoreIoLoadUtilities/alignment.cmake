# Body loading and mesh alignment. AlignmentTest compiles the library's sources itself and defines
# scripted stand-ins for the aligner, the tube converter and the logging service in place of their
# libraries, so that it sees each call the alignment unit makes on them; MeshAlignQualityTest
# drives the real ones through the built library.
set(COREIO_MESH_ALIGN_UTILS_SOURCE ${COREIO_LOAD_UTILITIES_SOURCES})
list(FILTER COREIO_MESH_ALIGN_UTILS_SOURCE INCLUDE REGEX "/MeshAlignUtils\\.cpp$")
set(COREIO_ALIGNMENT_TEST_LIBS ${COREIO_LOAD_UTILITIES_BASE_LIBS})
list(REMOVE_ITEM COREIO_ALIGNMENT_TEST_LIBS QRVService_Logging)

coreio_add_test(AlignmentTest
    SOURCES MeshAlignUtilsTest.cpp ${COREIO_LOAD_UTILITIES_SOURCES}
    LIBS ${COREIO_ALIGNMENT_TEST_LIBS} CoreIoSamples)
target_include_directories(AlignmentTest PRIVATE
    "${PROJECT_SOURCE_DIR}/Platform/CoreIo/Business/CoreIoLoadUtilities" "${COREIO_EXPORT_DIR}")
target_compile_definitions(AlignmentTest PRIVATE
    COREIO_MESH_ALIGN_UTILS_SOURCE="${COREIO_MESH_ALIGN_UTILS_SOURCE}")

coreio_add_test(MeshAlignQualityTest
    SOURCES MeshAlignQualityTest.cpp
    LIBS Business_CoreIoLoadUtilities Business_EvaluationGeometry CoreIoSamples)
