# The FFT against FFTW's single-precision real transform in the same process,
# and the windowing of a block of 16-bit samples. FFTW is linked into this
# benchmark only, never into the program.
find_library(QV_FFTWF_LIBRARY fftw3f)
find_path(QV_FFTW_INCLUDE fftw3.h)
if(QV_FFTWF_LIBRARY AND QV_FFTW_INCLUDE)
  quorvane_bench(bench_fft SOURCES ${CMAKE_CURRENT_LIST_DIR}/fft_benchmark.cpp
                 LIBS dsp ${QV_FFTWF_LIBRARY})
  target_include_directories(bench_fft PRIVATE ${QV_FFTW_INCLUDE})
  add_dependencies(bench_fft qvvecmath)
else()
  message(STATUS "FFTW (libfftw3-dev) not found: bench_fft is not built")
endif()
