#pragma once
// The vector-math library: a shared library beside the executable that supplies
// the FFT kernels, the clamps and the memory routines. It is opened once at
// start-up; when it or one of its entry points is missing the program cannot
// run, and the error names the library and what is missing.
#include <memory>
#include <string>
#include <vector>

#include "framework/exceptions.h"
#include "vecmath/vecmath_api.h"

namespace qv {

QV_DECLARE_EXCEPTION(EVectorMathError, Exception);

struct TVectorMathProcs {
    TDoCplxFFT2Proc DoCplxFFT2 = nullptr;
    TfvecBitRev2Proc fvecBitRev2 = nullptr;
    TBuildRealOutputProc BuildRealOutput = nullptr;
    TGenSinTableProc GenSinTable1 = nullptr;
    TGenSinTableProc GenSinTable2 = nullptr;
    TfvecMul1Proc fvecMul1 = nullptr;
    TMinProc Min = nullptr;
    TMaxProc Max = nullptr;
    TMinMaxProc MinMax = nullptr;
    TGlobalMoveMemProc GlobalMoveMem = nullptr;
    TGlobalFillMemProc GlobalFillMem = nullptr;
};

// One opened copy of the library with all its entry points resolved.
class TVectorMathLibrary {
public:
    // Opens the file at Path; throws EVectorMathError when it cannot be opened or
    // lacks an entry point.
    explicit TVectorMathLibrary(const std::string& Path);
    ~TVectorMathLibrary();
    TVectorMathLibrary(const TVectorMathLibrary&) = delete;
    TVectorMathLibrary& operator=(const TVectorMathLibrary&) = delete;

    const std::string& Path() const { return FPath; }
    const TVectorMathProcs& Procs() const { return FProcs; }
    // Any other exported symbol, or null.
    void* Symbol(const char* Name) const;

private:
    void* FHandle = nullptr;
    std::string FPath;
    TVectorMathProcs FProcs;
};

// The library's file name ("libqvvecmath.so").
const char* VectorMathFileName();
// Where the program looks for it, in order: beside the executable, then in the
// build tree it was built in.
std::vector<std::string> VectorMathSearchPaths();

// Opens the first of Paths that exists; throws EVectorMathError naming the
// library and the folders looked in when none does.
std::unique_ptr<TVectorMathLibrary> OpenVectorMathLibrary(const std::vector<std::string>& Paths);

// Opens the process-wide copy once. The program calls this at start-up and stops
// with the exception's message when it throws.
void LoadVectorMathLibrary();
bool VectorMathLoaded();
// The process-wide copy, opened on first use (throws as LoadVectorMathLibrary).
const TVectorMathLibrary& VectorMathLibrary();
const TVectorMathProcs& VectorMath();

} // namespace qv
