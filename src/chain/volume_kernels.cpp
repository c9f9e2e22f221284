#include "chain/volume_kernels.h"

#include <cstring>

// The loops below are written for the vectoriser: 32-bit arithmetic only, no
// branches, and the clamp report as an OR reduction. They are built for AVX2
// and for the baseline instruction set; the loader picks the one the CPU runs.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_ADDRESS__)
#define QV_KERNEL_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define QV_KERNEL_CLONES
#endif

namespace qv {

namespace {

// gain = High * 16384 + Low with 0 <= Low < 16384, so
//   floor(x * gain / 16384) = x * High + ((x * Low) >> 14)
// exactly, and x * Low fits 32 bits. When |High| exceeds 65535 every non-zero
// sample of either width saturates (|result| >= 65534 * |x|), the same as with
// High held at +-65535, which keeps x * High inside 32 bits as well.
struct TSplitGain {
    int32_t High;
    int32_t Low;
};

TSplitGain SplitGain(int32_t gain)
{
    int32_t high = gain >> 14; // arithmetic: floor
    const int32_t low = gain & 16383;
    if (high > 65535)
        high = 65535;
    if (high < -65535)
        high = -65535;
    return {high, low};
}

inline int32_t Scale(int32_t x, TSplitGain g) { return x * g.High + ((x * g.Low) >> 14); }

template <int32_t Lo, int32_t Hi> inline int32_t Clamp(int32_t v, uint32_t& over)
{
    over |= static_cast<uint32_t>(v < Lo) | static_cast<uint32_t>(v > Hi);
    v = v < Lo ? Lo : v;
    return v > Hi ? Hi : v;
}

QV_KERNEL_CLONES
uint32_t Mono8(uint8_t* __restrict d, int32_t n, int32_t high, int32_t low)
{
    const TSplitGain g{high, low};
    uint32_t over = 0;
    for (int32_t i = 0; i < n; ++i) {
        const int32_t v = Clamp<-128, 127>(Scale(static_cast<int32_t>(d[i]) - 128, g), over);
        d[i] = static_cast<uint8_t>(v + 128);
    }
    return over;
}

QV_KERNEL_CLONES
uint32_t Stereo8(uint8_t* __restrict d, int32_t frames, int32_t lh, int32_t ll, int32_t rh, int32_t rl)
{
    const TSplitGain l{lh, ll};
    const TSplitGain r{rh, rl};
    uint32_t over = 0;
    for (int32_t i = 0; i < frames; ++i) {
        const int32_t a = Clamp<-128, 127>(Scale(static_cast<int32_t>(d[2 * i]) - 128, l), over);
        const int32_t b = Clamp<-128, 127>(Scale(static_cast<int32_t>(d[2 * i + 1]) - 128, r), over);
        d[2 * i] = static_cast<uint8_t>(a + 128);
        d[2 * i + 1] = static_cast<uint8_t>(b + 128);
    }
    return over;
}

// 16-bit data is little-endian, as is every host this builds for; the samples
// are accessed as int16_t through a may_alias type since the data area is raw bytes.
#if __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "16-bit sample kernels assume a little-endian host"
#endif
typedef int16_t __attribute__((may_alias, aligned(1))) sample16_t;

QV_KERNEL_CLONES
uint32_t Mono16(sample16_t* __restrict d, int32_t n, int32_t high, int32_t low)
{
    const TSplitGain g{high, low};
    uint32_t over = 0;
    for (int32_t i = 0; i < n; ++i)
        d[i] = static_cast<int16_t>(Clamp<-32768, 32767>(Scale(d[i], g), over));
    return over;
}

QV_KERNEL_CLONES
uint32_t Stereo16(sample16_t* __restrict d, int32_t frames, int32_t lh, int32_t ll, int32_t rh, int32_t rl)
{
    const TSplitGain l{lh, ll};
    const TSplitGain r{rh, rl};
    uint32_t over = 0;
    for (int32_t i = 0; i < frames; ++i) {
        const int32_t a = Clamp<-32768, 32767>(Scale(d[2 * i], l), over);
        const int32_t b = Clamp<-32768, 32767>(Scale(d[2 * i + 1], r), over);
        d[2 * i] = static_cast<int16_t>(a);
        d[2 * i + 1] = static_cast<int16_t>(b);
    }
    return over;
}

} // namespace

bool VolumeMono8(uint8_t* Data, int32_t Count, int32_t Gain)
{
    if (!Data || Count <= 0)
        return false;
    const TSplitGain g = SplitGain(Gain);
    return Mono8(Data, Count, g.High, g.Low) != 0;
}

bool VolumeStereo8(uint8_t* Data, int32_t Frames, int32_t Left, int32_t Right)
{
    if (!Data || Frames <= 0)
        return false;
    const TSplitGain l = SplitGain(Left);
    const TSplitGain r = SplitGain(Right);
    return Stereo8(Data, Frames, l.High, l.Low, r.High, r.Low) != 0;
}

bool VolumeMono16(uint8_t* Data, int32_t Count, int32_t Gain)
{
    if (!Data || Count <= 0)
        return false;
    const TSplitGain g = SplitGain(Gain);
    return Mono16(reinterpret_cast<sample16_t*>(Data), Count, g.High, g.Low) != 0;
}

bool VolumeStereo16(uint8_t* Data, int32_t Frames, int32_t Left, int32_t Right)
{
    if (!Data || Frames <= 0)
        return false;
    const TSplitGain l = SplitGain(Left);
    const TSplitGain r = SplitGain(Right);
    return Stereo16(reinterpret_cast<sample16_t*>(Data), Frames, l.High, l.Low, r.High, r.Low) != 0;
}

} // namespace qv
