# The oscilloscope view: one block at the main window's size for every kind
# and width, and a scrolling block with and without screen acceleration.
quorvane_bench(bench_oscope SOURCES ${CMAKE_CURRENT_LIST_DIR}/oscope_bench.cpp LIBS display Qt6::Widgets)
