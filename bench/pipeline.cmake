# The whole alignment of two bodies, getMeshAlignResult, from sheets of ten thousand to two
# million vertices and a million-vertex tube, with its phases and its peak memory.
coreio_add_benchmark(bench_mesh_align SOURCES MeshAlignBenchmark.cpp AllocationCounter.cpp
    LIBS Business_CoreIoLoadUtilities Business_Algorithm Business_EvaluationGeometry CoreIoSamples CoreIo_Internal
         spdlog::spdlog)
coreio_add_benchmark(bench_exodus_writer SOURCES ExodusWriterBenchmark.cpp LIBS Persistence_CoreIo)
