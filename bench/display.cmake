# The DIB surface: fills, spans, lines and block copies of a 640 x 240 surface at
# 8 and 24 bits, against a plain memset of the same bytes, and the presentation
# of the surface in a widget (offscreen platform).
quorvane_bench(bench_dib SOURCES ${CMAKE_CURRENT_LIST_DIR}/dib_bench.cpp LIBS display Qt6::Widgets)
