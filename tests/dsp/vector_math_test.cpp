#include "dsp/vector_math.h"

#include <gtest/gtest.h>
#include <unistd.h>

using namespace qv;

TEST(VectorMathLoader, FindsTheLibraryBesideTheProgram)
{
    const std::vector<std::string> paths = VectorMathSearchPaths();
    ASSERT_FALSE(paths.empty());
    EXPECT_NE(paths.front().find(std::string("/") + VectorMathFileName()), std::string::npos);
    LoadVectorMathLibrary();
    EXPECT_TRUE(VectorMathLoaded());
    EXPECT_EQ(VectorMathLibrary().Path(), paths.front());
    const TVectorMathProcs& p = VectorMath();
    EXPECT_TRUE(p.DoCplxFFT2 && p.fvecBitRev2 && p.BuildRealOutput && p.GenSinTable1 && p.GenSinTable2 &&
                p.fvecMul1 && p.Min && p.Max && p.MinMax && p.GlobalMoveMem && p.GlobalFillMem);
    EXPECT_EQ(p.MinMax(12, -1, 1), 1);
    LoadVectorMathLibrary(); // again: the same copy
    EXPECT_EQ(&VectorMath(), &p);
}

TEST(VectorMathLoader, FailuresNameTheLibraryAndWhatIsMissing)
{
    const auto error = [](auto&& open) -> std::string {
        try {
            open();
        } catch (const EVectorMathError& e) {
            return e.Message();
        }
        return "(loaded)";
    };
    EXPECT_EQ(error([] { OpenVectorMathLibrary({"/nonexistent-a/libqvvecmath.so", "/nonexistent-b/libqvvecmath.so"}); }),
              "The vector-math library \"libqvvecmath.so\" was not found (looked in /nonexistent-a, /nonexistent-b).");
    // A file that is there but is no library.
    const std::string text = error([] { TVectorMathLibrary lib("/proc/self/status"); });
    EXPECT_EQ(text.rfind("The vector-math library \"/proc/self/status\" cannot be loaded: ", 0), 0u) << text;
    EXPECT_EQ(error([] { OpenVectorMathLibrary({"/nonexistent-a/libqvvecmath.so", QV_INCOMPLETE_VECMATH}); }),
              std::string("The vector-math library \"") + QV_INCOMPLETE_VECMATH +
                  "\" has no entry point \"_BuildRealOutput\".");
}
