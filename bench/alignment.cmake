# The aligner on formed sheets of up to millions of vertices; bench/peer/probe_peer.py compares it
# with a general-purpose probe filter on the same data.
add_library(CoreIoBenchSupport STATIC FreshProcess.cpp CallCost.cpp JitteredSheets.cpp)
target_include_directories(CoreIoBenchSupport PUBLIC "${CMAKE_CURRENT_SOURCE_DIR}")
target_link_libraries(CoreIoBenchSupport PUBLIC CoreIoSamples benchmark::benchmark)
coreio_warnings(CoreIoBenchSupport)
coreio_add_benchmark(bench_aligner SOURCES AlignerBenchmark.cpp LIBS Business_Algorithm CoreIoBenchSupport)
# Carrying ten nodal variables of the before state onto up to a million after vertices.
if(TARGET coreio_alignment)
    coreio_add_benchmark(bench_field_transfer SOURCES FieldTransferBenchmark.cpp LIBS coreio_alignment)
    # The front ends' alignment of a pair of a million vertices each beside the one library call.
    coreio_add_benchmark(bench_pair_alignment SOURCES PairAlignmentBenchmark.cpp
        LIBS CoreIoAlignmentSamples CoreIoBenchSupport)
endif()
