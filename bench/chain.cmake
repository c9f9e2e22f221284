# Signal chain: the gain kernels, a buffer's trip down a chain, format operations.
quorvane_bench(bench_volume SOURCES ${CMAKE_CURRENT_LIST_DIR}/volume_bench.cpp LIBS chain)
quorvane_bench(bench_chain SOURCES ${CMAKE_CURRENT_LIST_DIR}/chain_bench.cpp LIBS chain)
quorvane_bench(bench_connector SOURCES ${CMAKE_CURRENT_LIST_DIR}/connector_bench.cpp LIBS chain)
