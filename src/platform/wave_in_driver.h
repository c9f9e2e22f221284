#pragma once
// The wave-input service: a driver table of the classic entry points with
// MMRESULT-style codes and the open/close/data callback. Two drivers exist: ALSA
// for real sound cards (the default) and a scripted fake for tests.
#include <cstddef>
#include <cstdint>

// The format and buffer records are plain structures shared with the chain
// (header only: the platform library links nothing of the capture folder).
#include "capture/pcm_format.h"

namespace qv {

using MMRESULT = uint32_t;
using HWAVEIN = uintptr_t; // 0 = no device

constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_ERROR = 1;
constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
constexpr MMRESULT MMSYSERR_NOTENABLED = 3;
constexpr MMRESULT MMSYSERR_ALLOCATED = 4;
constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
constexpr MMRESULT MMSYSERR_NODRIVER = 6;
constexpr MMRESULT MMSYSERR_NOMEM = 7;
constexpr MMRESULT MMSYSERR_NOTSUPPORTED = 8;
constexpr MMRESULT MMSYSERR_BADERRNUM = 9;
constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
constexpr MMRESULT MMSYSERR_HANDLEBUSY = 12;
constexpr MMRESULT WAVERR_BADFORMAT = 32;
constexpr MMRESULT WAVERR_STILLPLAYING = 33;
constexpr MMRESULT WAVERR_UNPREPARED = 34;
constexpr MMRESULT WAVERR_SYNC = 35;

constexpr uint32_t WAVE_MAPPER = 0xFFFFFFFFu; // device −1

// Flags of waveInOpen.
constexpr uint32_t WAVE_FORMAT_QUERY = 0x0001;
constexpr uint32_t CALLBACK_TYPEMASK = 0x70000;
constexpr uint32_t CALLBACK_NULL = 0x00000;
constexpr uint32_t CALLBACK_WINDOW = 0x10000;   // dwCallback is a TMessageWindow*
constexpr uint32_t CALLBACK_FUNCTION = 0x30000; // dwCallback is a TWaveInProc

// Callback notifications and buffer flags.
constexpr uint32_t MM_WIM_OPEN = 0x3BE;
constexpr uint32_t MM_WIM_CLOSE = 0x3BF;
constexpr uint32_t MM_WIM_DATA = 0x3C0;
// WHDR_DONE and WHDR_PREPARED come with the buffer record.
constexpr uint32_t WHDR_INQUEUE = 0x00000010;

// Bits of TWaveInCaps::dwFormats: rate band (1 = 11025, 2 = 22050, 4 = 44100 Hz),
// mono/stereo, 8/16 bits.
constexpr uint32_t WAVE_FORMAT_1M08 = 0x00000001;
constexpr uint32_t WAVE_FORMAT_1S08 = 0x00000002;
constexpr uint32_t WAVE_FORMAT_1M16 = 0x00000004;
constexpr uint32_t WAVE_FORMAT_1S16 = 0x00000008;
constexpr uint32_t WAVE_FORMAT_2M08 = 0x00000010;
constexpr uint32_t WAVE_FORMAT_2S08 = 0x00000020;
constexpr uint32_t WAVE_FORMAT_2M16 = 0x00000040;
constexpr uint32_t WAVE_FORMAT_2S16 = 0x00000080;
constexpr uint32_t WAVE_FORMAT_4M08 = 0x00000100;
constexpr uint32_t WAVE_FORMAT_4S08 = 0x00000200;
constexpr uint32_t WAVE_FORMAT_4M16 = 0x00000400;
constexpr uint32_t WAVE_FORMAT_4S16 = 0x00000800;

constexpr int MAXPNAMELEN = 32;

#pragma pack(push, 1)
// The 48-byte capability record.
struct TWaveInCaps {
    uint16_t wMid;
    uint16_t wPid;
    uint32_t vDriverVersion;
    char szPname[MAXPNAMELEN];
    uint32_t dwFormats;
    uint16_t wChannels;
    uint16_t wReserved1;
};
#pragma pack(pop)
static_assert(sizeof(TWaveInCaps) == 48, "TWaveInCaps must be 48 bytes");

// (handle, message, instance, param1, param2); for MM_WIM_DATA param1 is the
// TWaveHdr* of the finished buffer. Called on the driver's own thread (or inside
// the call that caused it), never while the driver holds a lock of its own.
using TWaveInProc = void (*)(HWAVEIN hwi, uint32_t uMsg, uintptr_t dwInstance, uintptr_t dwParam1,
                             uintptr_t dwParam2);

// A wave-input driver. Header sizes are in bytes and must be at least
// WAVEHDR_DRIVER_SIZE.
class TWaveInDriver {
public:
    virtual ~TWaveInDriver() = default;
    virtual uint32_t GetNumDevs() = 0;
    virtual MMRESULT GetDevCaps(uintptr_t uDeviceID, TWaveInCaps* pwic, uint32_t cbwic) = 0;
    // Fills text (NUL-terminated, at most cchText characters with the NUL);
    // MMSYSERR_BADERRNUM for an unknown code.
    virtual MMRESULT GetErrorText(MMRESULT mmrError, char* pszText, uint32_t cchText) = 0;
    // With WAVE_FORMAT_QUERY only tells whether the format can be recorded
    // (phwi may be null). Otherwise opens and confirms with MM_WIM_OPEN.
    virtual MMRESULT Open(HWAVEIN* phwi, uint32_t uDeviceID, const TWaveFormatEx* pwfx, uintptr_t dwCallback,
                          uintptr_t dwInstance, uint32_t fdwOpen) = 0;
    // Fails with WAVERR_STILLPLAYING while buffers are queued; confirms with MM_WIM_CLOSE.
    virtual MMRESULT Close(HWAVEIN hwi) = 0;
    virtual MMRESULT PrepareHeader(HWAVEIN hwi, TWaveHdr* pwh, uint32_t cbwh) = 0;
    virtual MMRESULT UnprepareHeader(HWAVEIN hwi, TWaveHdr* pwh, uint32_t cbwh) = 0;
    virtual MMRESULT AddBuffer(HWAVEIN hwi, TWaveHdr* pwh, uint32_t cbwh) = 0;
    virtual MMRESULT Start(HWAVEIN hwi) = 0;
    // Stops recording; the partly filled current buffer (if it holds any bytes)
    // comes back with WHDR_DONE, the others stay queued.
    virtual MMRESULT Stop(HWAVEIN hwi) = 0;
    // Stops recording and gives back every queued buffer, in order.
    virtual MMRESULT Reset(HWAVEIN hwi) = 0;
};

// The driver the wave-input entry points use: the ALSA driver unless a test
// installed another. SetWaveInDriver returns the previous one; null restores
// ALSA. The caller keeps ownership of an installed driver.
TWaveInDriver& CurrentWaveInDriver();
TWaveInDriver* SetWaveInDriver(TWaveInDriver* driver);
// The process's ALSA driver (created on first use).
TWaveInDriver& AlsaWaveInDriver();

// The classic entry points; each forwards to CurrentWaveInDriver().
uint32_t waveInGetNumDevs();
MMRESULT waveInGetDevCaps(uintptr_t uDeviceID, TWaveInCaps* pwic, uint32_t cbwic);
MMRESULT waveInGetErrorText(MMRESULT mmrError, char* pszText, uint32_t cchText);
MMRESULT waveInOpen(HWAVEIN* phwi, uint32_t uDeviceID, const TWaveFormatEx* pwfx, uintptr_t dwCallback,
                    uintptr_t dwInstance, uint32_t fdwOpen);
MMRESULT waveInClose(HWAVEIN hwi);
MMRESULT waveInPrepareHeader(HWAVEIN hwi, TWaveHdr* pwh, uint32_t cbwh);
MMRESULT waveInUnprepareHeader(HWAVEIN hwi, TWaveHdr* pwh, uint32_t cbwh);
MMRESULT waveInAddBuffer(HWAVEIN hwi, TWaveHdr* pwh, uint32_t cbwh);
MMRESULT waveInStart(HWAVEIN hwi);
MMRESULT waveInStop(HWAVEIN hwi);
MMRESULT waveInReset(HWAVEIN hwi);

// The table a wave-input component calls through.
struct TWaveInDriverTable {
    decltype(&waveInGetNumDevs) GetNumDevs = nullptr;
    decltype(&waveInGetDevCaps) GetDevCaps = nullptr;
    decltype(&waveInGetErrorText) GetErrorText = nullptr;
    decltype(&waveInOpen) Open = nullptr;
    decltype(&waveInClose) Close = nullptr;
    decltype(&waveInPrepareHeader) PrepareHeader = nullptr;
    decltype(&waveInUnprepareHeader) UnprepareHeader = nullptr;
    decltype(&waveInAddBuffer) AddBuffer = nullptr;
    decltype(&waveInStart) Start = nullptr;
    decltype(&waveInStop) Stop = nullptr;
    decltype(&waveInReset) Reset = nullptr;
};
// The table of the entry points above.
TWaveInDriverTable PlatformWaveInDriverTable();

// Text for the common codes, shared by both drivers; null for an unknown code.
const char* StandardWaveInErrorText(MMRESULT code);

// Delivers a driver notification through the way chosen at open: a function
// call or a message posted to a TMessageWindow (wParam = handle, lParam = param1).
void DeliverWaveInNotification(uint32_t fdwOpen, uintptr_t dwCallback, uintptr_t dwInstance, HWAVEIN hwi,
                               uint32_t uMsg, uintptr_t dwParam1, uintptr_t dwParam2);

// Size in bytes of the classic header part (lpData .. reserved) that the
// prepare, unprepare and add calls are given; the drivers touch nothing beyond it.
constexpr uint32_t WAVEHDR_DRIVER_SIZE = static_cast<uint32_t>(offsetof(TWaveHdr, extension1));

} // namespace qv
