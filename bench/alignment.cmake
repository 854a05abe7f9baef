# The aligner on formed sheets of up to millions of vertices; bench/peer/probe_peer.py compares it
# with a general-purpose probe filter on the same data.
coreio_add_benchmark(bench_aligner SOURCES AlignerBenchmark.cpp AllocationCounter.cpp LIBS Business_Algorithm CoreIoSamples)
# Carrying ten nodal variables of the before state onto up to a million after vertices.
if(TARGET coreio_alignment)
    coreio_add_benchmark(bench_field_transfer SOURCES FieldTransferBenchmark.cpp LIBS coreio_alignment)
    # The tool's alignment of a pair of a million vertices each, with and without ten mapped variables.
    coreio_add_benchmark(bench_pair_alignment SOURCES PairAlignmentBenchmark.cpp
        LIBS CoreIoAlignmentSamples)
endif()
