// Exports every vector-math entry point except "_BuildRealOutput". Never called:
// the loader must refuse it before any kernel runs.
#include <cstdint>

#define QV_EXPORT extern "C" __attribute__((visibility("default")))

QV_EXPORT void DoCplxFFT2(int32_t, int32_t, const void*, float*) __asm__("_DoCplxFFT2");
QV_EXPORT void fvecBitRev2(int32_t, const int32_t*, float*) __asm__("_fvecBitRev2");
QV_EXPORT void GenSinTable1(int32_t, void*) __asm__("_GenSinTable1");
QV_EXPORT void GenSinTable2(int32_t, void*) __asm__("_GenSinTable2");
QV_EXPORT void fvecMul1(int32_t, float, float*) __asm__("_fvecMul1");

void DoCplxFFT2(int32_t, int32_t, const void*, float*) {}
void fvecBitRev2(int32_t, const int32_t*, float*) {}
void GenSinTable1(int32_t, void*) {}
void GenSinTable2(int32_t, void*) {}
void fvecMul1(int32_t, float, float*) {}
