#include "dsp/vector_math.h"

#include <atomic>
#include <dlfcn.h>
#include <mutex>
#include <unistd.h>

namespace qv {

namespace {

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

template <typename P> void Resolve(void* handle, const std::string& path, const char* name, P& proc)
{
    void* sym = dlsym(handle, name);
    if (!sym)
        throw EVectorMathError("The vector-math library " + Quoted(path) + " has no entry point " +
                               Quoted(name) + ".");
    proc = reinterpret_cast<P>(sym);
}

std::string ExecutableDir()
{
    std::string buf(4096, '\0');
    const ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n <= 0)
        return {};
    buf.resize(static_cast<size_t>(n));
    const size_t slash = buf.rfind('/');
    return slash == std::string::npos ? std::string() : buf.substr(0, slash);
}

std::string DirOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::mutex gLoadLock;
std::atomic<const TVectorMathLibrary*> gLibrary{nullptr};

} // namespace

TVectorMathLibrary::TVectorMathLibrary(const std::string& Path) : FPath(Path)
{
    FHandle = dlopen(Path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!FHandle) {
        const char* err = dlerror();
        throw EVectorMathError("The vector-math library " + Quoted(Path) + " cannot be loaded: " +
                               (err ? err : "unknown error"));
    }
    try {
        Resolve(FHandle, Path, vecmath::kDoCplxFFT2, FProcs.DoCplxFFT2);
        Resolve(FHandle, Path, vecmath::kfvecBitRev2, FProcs.fvecBitRev2);
        Resolve(FHandle, Path, vecmath::kBuildRealOutput, FProcs.BuildRealOutput);
        Resolve(FHandle, Path, vecmath::kGenSinTable1, FProcs.GenSinTable1);
        Resolve(FHandle, Path, vecmath::kGenSinTable2, FProcs.GenSinTable2);
        Resolve(FHandle, Path, vecmath::kfvecMul1, FProcs.fvecMul1);
        Resolve(FHandle, Path, vecmath::kMin, FProcs.Min);
        Resolve(FHandle, Path, vecmath::kMax, FProcs.Max);
        Resolve(FHandle, Path, vecmath::kMinMax, FProcs.MinMax);
        Resolve(FHandle, Path, vecmath::kGlobalMoveMem, FProcs.GlobalMoveMem);
        Resolve(FHandle, Path, vecmath::kGlobalFillMem, FProcs.GlobalFillMem);
    } catch (...) {
        dlclose(FHandle);
        throw;
    }
}

TVectorMathLibrary::~TVectorMathLibrary()
{
    if (FHandle)
        dlclose(FHandle);
}

void* TVectorMathLibrary::Symbol(const char* Name) const { return dlsym(FHandle, Name); }

const char* VectorMathFileName() { return QV_VECMATH_FILE_NAME; }

std::vector<std::string> VectorMathSearchPaths()
{
    std::vector<std::string> paths;
    const std::string exeDir = ExecutableDir();
    if (!exeDir.empty())
        paths.push_back(exeDir + "/" + VectorMathFileName());
    const std::string built = QV_VECMATH_BUILD_PATH;
    if (paths.empty() || built != paths.front())
        paths.push_back(built);
    return paths;
}

std::unique_ptr<TVectorMathLibrary> OpenVectorMathLibrary(const std::vector<std::string>& Paths)
{
    std::string looked;
    for (const std::string& path : Paths) {
        // The first copy found is the one to use: a broken copy beside the
        // program is reported rather than hidden by an older one elsewhere.
        if (access(path.c_str(), F_OK) == 0)
            return std::make_unique<TVectorMathLibrary>(path);
        looked += (looked.empty() ? "" : ", ") + DirOf(path);
    }
    throw EVectorMathError("The vector-math library " + Quoted(VectorMathFileName()) +
                           " was not found (looked in " + looked + ").");
}

const TVectorMathLibrary& VectorMathLibrary()
{
    if (const TVectorMathLibrary* lib = gLibrary.load(std::memory_order_acquire))
        return *lib;
    std::lock_guard<std::mutex> lock(gLoadLock);
    if (const TVectorMathLibrary* lib = gLibrary.load(std::memory_order_acquire))
        return *lib;
    // Kept for the life of the process: kernels may run until exit.
    const TVectorMathLibrary* lib = OpenVectorMathLibrary(VectorMathSearchPaths()).release();
    gLibrary.store(lib, std::memory_order_release);
    return *lib;
}

void LoadVectorMathLibrary() { VectorMathLibrary(); }

bool VectorMathLoaded() { return gLibrary.load(std::memory_order_acquire) != nullptr; }

const TVectorMathProcs& VectorMath() { return VectorMathLibrary().Procs(); }

} // namespace qv
