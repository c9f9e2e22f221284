#include "platform/wave_in_driver.h"

#include <atomic>

#include "platform/message_window.h"

namespace qv {

namespace {
std::atomic<TWaveInDriver*> gInstalled{nullptr};
} // namespace

TWaveInDriver& CurrentWaveInDriver()
{
    TWaveInDriver* d = gInstalled.load();
    return d ? *d : AlsaWaveInDriver();
}

TWaveInDriver* SetWaveInDriver(TWaveInDriver* driver) { return gInstalled.exchange(driver); }

uint32_t waveInGetNumDevs() { return CurrentWaveInDriver().GetNumDevs(); }
MMRESULT waveInGetDevCaps(uintptr_t uDeviceID, TWaveInCaps* pwic, uint32_t cbwic)
{
    return CurrentWaveInDriver().GetDevCaps(uDeviceID, pwic, cbwic);
}
MMRESULT waveInGetErrorText(MMRESULT mmrError, char* pszText, uint32_t cchText)
{
    return CurrentWaveInDriver().GetErrorText(mmrError, pszText, cchText);
}
MMRESULT waveInOpen(HWAVEIN* phwi, uint32_t uDeviceID, const TWaveFormatEx* pwfx, uintptr_t dwCallback,
                    uintptr_t dwInstance, uint32_t fdwOpen)
{
    return CurrentWaveInDriver().Open(phwi, uDeviceID, pwfx, dwCallback, dwInstance, fdwOpen);
}
MMRESULT waveInClose(HWAVEIN hwi) { return CurrentWaveInDriver().Close(hwi); }
MMRESULT waveInPrepareHeader(HWAVEIN hwi, TWaveHdr* pwh, uint32_t cbwh)
{
    return CurrentWaveInDriver().PrepareHeader(hwi, pwh, cbwh);
}
MMRESULT waveInUnprepareHeader(HWAVEIN hwi, TWaveHdr* pwh, uint32_t cbwh)
{
    return CurrentWaveInDriver().UnprepareHeader(hwi, pwh, cbwh);
}
MMRESULT waveInAddBuffer(HWAVEIN hwi, TWaveHdr* pwh, uint32_t cbwh)
{
    return CurrentWaveInDriver().AddBuffer(hwi, pwh, cbwh);
}
MMRESULT waveInStart(HWAVEIN hwi) { return CurrentWaveInDriver().Start(hwi); }
MMRESULT waveInStop(HWAVEIN hwi) { return CurrentWaveInDriver().Stop(hwi); }
MMRESULT waveInReset(HWAVEIN hwi) { return CurrentWaveInDriver().Reset(hwi); }

TWaveInDriverTable PlatformWaveInDriverTable()
{
    TWaveInDriverTable t;
    t.GetNumDevs = &waveInGetNumDevs;
    t.GetDevCaps = &waveInGetDevCaps;
    t.GetErrorText = &waveInGetErrorText;
    t.Open = &waveInOpen;
    t.Close = &waveInClose;
    t.PrepareHeader = &waveInPrepareHeader;
    t.UnprepareHeader = &waveInUnprepareHeader;
    t.AddBuffer = &waveInAddBuffer;
    t.Start = &waveInStart;
    t.Stop = &waveInStop;
    t.Reset = &waveInReset;
    return t;
}

const char* StandardWaveInErrorText(MMRESULT code)
{
    switch (code) {
    case MMSYSERR_NOERROR:
        return "The command completed successfully.";
    case MMSYSERR_ERROR:
        return "An unspecified error occurred.";
    case MMSYSERR_BADDEVICEID:
        return "The device number is out of range.";
    case MMSYSERR_NOTENABLED:
        return "The driver failed to start.";
    case MMSYSERR_ALLOCATED:
        return "The device is already in use by another program.";
    case MMSYSERR_INVALHANDLE:
        return "The device handle is not valid.";
    case MMSYSERR_NODRIVER:
        return "The recording device is not available: it was removed or stopped working.";
    case MMSYSERR_NOMEM:
        return "There is not enough memory for this operation.";
    case MMSYSERR_NOTSUPPORTED:
        return "The device does not support this operation.";
    case MMSYSERR_BADERRNUM:
        return "The error number is out of range.";
    case MMSYSERR_INVALFLAG:
        return "An invalid flag was passed.";
    case MMSYSERR_INVALPARAM:
        return "An invalid parameter was passed.";
    case MMSYSERR_HANDLEBUSY:
        return "The device handle is in use by another thread.";
    case WAVERR_BADFORMAT:
        return "The device cannot record in this wave format.";
    case WAVERR_STILLPLAYING:
        return "Buffers are still queued at the device.";
    case WAVERR_UNPREPARED:
        return "The buffer header was not prepared.";
    case WAVERR_SYNC:
        return "The device is synchronous and cannot be opened this way.";
    default:
        return nullptr;
    }
}

void DeliverWaveInNotification(uint32_t fdwOpen, uintptr_t dwCallback, uintptr_t dwInstance, HWAVEIN hwi,
                               uint32_t uMsg, uintptr_t dwParam1, uintptr_t dwParam2)
{
    switch (fdwOpen & CALLBACK_TYPEMASK) {
    case CALLBACK_FUNCTION:
        if (dwCallback)
            reinterpret_cast<TWaveInProc>(dwCallback)(hwi, uMsg, dwInstance, dwParam1, dwParam2);
        break;
    case CALLBACK_WINDOW:
        if (dwCallback)
            reinterpret_cast<TMessageWindow*>(dwCallback)->Post(uMsg, hwi, static_cast<intptr_t>(dwParam1));
        break;
    default:
        break;
    }
}

} // namespace qv
