# The whole alignment of two bodies, getMeshAlignResult, from sheets of a hundred thousand to four
# (sixteen) million vertices and a million-vertex tube, with its phases and its peak memory.
coreio_add_benchmark(bench_mesh_align SOURCES MeshAlignBenchmark.cpp
    LIBS Business_CoreIoLoadUtilities Business_Algorithm Business_EvaluationGeometry CoreIoBenchSupport CoreIo_Internal
         spdlog::spdlog)
coreio_add_benchmark(bench_exodus_writer SOURCES ExodusWriterBenchmark.cpp LIBS Persistence_CoreIo)
