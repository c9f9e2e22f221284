#include "platform/wave_in_fake_driver.h"

#include <algorithm>
#include <cstring>

namespace qv {

const char* TFakeWaveInDriver::CallName(TCall call)
{
    static const char* const names[fcCallCount] = {"GetNumDevs", "GetDevCaps",      "GetErrorText", "Open",
                                                   "Query",      "Close",           "PrepareHeader",
                                                   "UnprepareHeader", "AddBuffer",  "Start",        "Stop",
                                                   "Reset"};
    return call >= 0 && call < fcCallCount ? names[call] : "?";
}

TFakeWaveInDriver::TFakeWaveInDriver() : FDevices(1) {}

void TFakeWaveInDriver::Install()
{
    if (!FInstalled) {
        FPrevious = SetWaveInDriver(this);
        FInstalled = true;
    }
}

TFakeWaveInDriver::~TFakeWaveInDriver()
{
    if (FInstalled)
        SetWaveInDriver(FPrevious);
}

// --- script ---------------------------------------------------------------

void TFakeWaveInDriver::SetDevices(std::vector<TDevice> devices)
{
    std::lock_guard<std::mutex> lock(FMutex);
    FDevices = std::move(devices);
}

void TFakeWaveInDriver::FailCall(TCall call, MMRESULT code, int times)
{
    std::lock_guard<std::mutex> lock(FMutex);
    FFailures[call] = {code, times};
}

void TFakeWaveInDriver::ClearFailures()
{
    std::lock_guard<std::mutex> lock(FMutex);
    FFailures.clear();
}

void TFakeWaveInDriver::SetErrorText(MMRESULT code, std::string text)
{
    std::lock_guard<std::mutex> lock(FMutex);
    FErrorTexts[code] = std::move(text);
}

void TFakeWaveInDriver::SetErrorTextFails(bool fails)
{
    std::lock_guard<std::mutex> lock(FMutex);
    FErrorTextFails = fails;
}

void TFakeWaveInDriver::SetConfirmOpen(bool confirm)
{
    std::lock_guard<std::mutex> lock(FMutex);
    FConfirmOpen = confirm;
}

void TFakeWaveInDriver::SetConfirmClose(bool confirm)
{
    std::lock_guard<std::mutex> lock(FMutex);
    FConfirmClose = confirm;
}

void TFakeWaveInDriver::FinishFront(std::vector<TNotice>& out)
{
    TWaveHdr* h = FQueue.front();
    FQueue.erase(FQueue.begin());
    h->dwFlags = (h->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
    out.push_back({MM_WIM_DATA, h});
}

size_t TFakeWaveInDriver::Deliver(const void* data, size_t size)
{
    std::vector<TNotice> notices;
    size_t taken = 0;
    {
        std::lock_guard<std::mutex> lock(FMutex);
        if (!FOpen || !FStarted)
            return 0;
        const auto* src = static_cast<const uint8_t*>(data);
        while (taken < size && !FQueue.empty()) {
            TWaveHdr* h = FQueue.front();
            const size_t room = h->dwBufferLength - h->dwBytesRecorded;
            const size_t n = std::min(room, size - taken);
            std::memcpy(h->lpData + h->dwBytesRecorded, src + taken, n);
            h->dwBytesRecorded += static_cast<uint32_t>(n);
            taken += n;
            if (h->dwBytesRecorded >= h->dwBufferLength)
                FinishFront(notices);
        }
    }
    Notify(notices);
    return taken;
}

bool TFakeWaveInDriver::ReturnCurrent()
{
    std::vector<TNotice> notices;
    {
        std::lock_guard<std::mutex> lock(FMutex);
        if (!FOpen || FQueue.empty())
            return false;
        FinishFront(notices);
    }
    Notify(notices);
    return true;
}

void TFakeWaveInDriver::Notify(const std::vector<TNotice>& notices)
{
    uint32_t flags;
    uintptr_t callback, instance;
    HWAVEIN handle;
    {
        std::lock_guard<std::mutex> lock(FMutex);
        flags = FFlags;
        callback = FCallback;
        instance = FInstance;
        handle = FHandle;
    }
    for (const TNotice& n : notices)
        DeliverWaveInNotification(flags, callback, instance, handle, n.msg, reinterpret_cast<uintptr_t>(n.hdr), 0);
}

// --- inspection -----------------------------------------------------------

std::vector<std::string> TFakeWaveInDriver::Log() const
{
    std::lock_guard<std::mutex> lock(FMutex);
    return FLog;
}

void TFakeWaveInDriver::ClearLog()
{
    std::lock_guard<std::mutex> lock(FMutex);
    FLog.clear();
}

int TFakeWaveInDriver::CallCount(TCall call) const
{
    std::lock_guard<std::mutex> lock(FMutex);
    return call >= 0 && call < fcCallCount ? FCounts[call] : 0;
}

int TFakeWaveInDriver::QueuedCount() const
{
    std::lock_guard<std::mutex> lock(FMutex);
    return static_cast<int>(FQueue.size());
}

bool TFakeWaveInDriver::IsOpen() const
{
    std::lock_guard<std::mutex> lock(FMutex);
    return FOpen;
}

bool TFakeWaveInDriver::IsStarted() const
{
    std::lock_guard<std::mutex> lock(FMutex);
    return FStarted;
}

HWAVEIN TFakeWaveInDriver::Handle() const
{
    std::lock_guard<std::mutex> lock(FMutex);
    return FHandle;
}

std::optional<TWaveFormatEx> TFakeWaveInDriver::OpenFormat() const
{
    std::lock_guard<std::mutex> lock(FMutex);
    return FFormat;
}

uint32_t TFakeWaveInDriver::OpenFlags() const
{
    std::lock_guard<std::mutex> lock(FMutex);
    return FFlags;
}

uint32_t TFakeWaveInDriver::OpenDeviceID() const
{
    std::lock_guard<std::mutex> lock(FMutex);
    return FDeviceID;
}

// --- TWaveInDriver --------------------------------------------------------

MMRESULT TFakeWaveInDriver::Enter(TCall call)
{
    FLog.push_back(CallName(call));
    ++FCounts[call];
    auto it = FFailures.find(call);
    if (it == FFailures.end())
        return MMSYSERR_NOERROR;
    const MMRESULT code = it->second.first;
    if (it->second.second > 0 && --it->second.second == 0)
        FFailures.erase(it);
    return code;
}

uint32_t TFakeWaveInDriver::GetNumDevs()
{
    std::lock_guard<std::mutex> lock(FMutex);
    if (Enter(fcGetNumDevs) != MMSYSERR_NOERROR)
        return 0;
    return static_cast<uint32_t>(FDevices.size());
}

MMRESULT TFakeWaveInDriver::GetDevCaps(uintptr_t uDeviceID, TWaveInCaps* pwic, uint32_t cbwic)
{
    std::lock_guard<std::mutex> lock(FMutex);
    if (const MMRESULT r = Enter(fcGetDevCaps))
        return r;
    if (!pwic || cbwic < sizeof(TWaveInCaps))
        return MMSYSERR_INVALPARAM;
    size_t index = uDeviceID == static_cast<uintptr_t>(WAVE_MAPPER) || static_cast<uint32_t>(uDeviceID) == WAVE_MAPPER
                       ? 0
                       : static_cast<size_t>(uDeviceID);
    if (index >= FDevices.size())
        return MMSYSERR_BADDEVICEID;
    const TDevice& d = FDevices[index];
    std::memset(pwic, 0, sizeof(TWaveInCaps));
    std::strncpy(pwic->szPname, d.name.c_str(), MAXPNAMELEN - 1);
    pwic->dwFormats = d.formats;
    pwic->wChannels = d.channels;
    pwic->vDriverVersion = 0x0100;
    return MMSYSERR_NOERROR;
}

MMRESULT TFakeWaveInDriver::GetErrorText(MMRESULT mmrError, char* pszText, uint32_t cchText)
{
    std::lock_guard<std::mutex> lock(FMutex);
    if (const MMRESULT r = Enter(fcGetErrorText))
        return r;
    if (FErrorTextFails)
        return MMSYSERR_BADERRNUM;
    if (!pszText || cchText == 0)
        return MMSYSERR_INVALPARAM;
    std::string text;
    if (auto it = FErrorTexts.find(mmrError); it != FErrorTexts.end())
        text = it->second;
    else if (const char* standard = StandardWaveInErrorText(mmrError))
        text = standard;
    else
        return MMSYSERR_BADERRNUM;
    const size_t n = std::min<size_t>(text.size(), cchText - 1);
    std::memcpy(pszText, text.data(), n);
    pszText[n] = '\0';
    return MMSYSERR_NOERROR;
}

MMRESULT TFakeWaveInDriver::Open(HWAVEIN* phwi, uint32_t uDeviceID, const TWaveFormatEx* pwfx,
                                 uintptr_t dwCallback, uintptr_t dwInstance, uint32_t fdwOpen)
{
    const bool query = (fdwOpen & WAVE_FORMAT_QUERY) != 0;
    bool confirm;
    HWAVEIN handle;
    {
        std::lock_guard<std::mutex> lock(FMutex);
        if (const MMRESULT r = Enter(query ? fcQuery : fcOpen))
            return r;
        const size_t index = uDeviceID == WAVE_MAPPER ? 0 : uDeviceID;
        if (index >= FDevices.size())
            return MMSYSERR_BADDEVICEID;
        if (!pwfx)
            return MMSYSERR_INVALPARAM;
        if (query)
            return FDevices[index].queryResult;
        if (!phwi)
            return MMSYSERR_INVALPARAM;
        if (FOpen)
            return MMSYSERR_ALLOCATED;
        FOpen = true;
        FStarted = false;
        FHandle = handle = FNextHandle++;
        FDeviceID = uDeviceID;
        FFlags = fdwOpen;
        FCallback = dwCallback;
        FInstance = dwInstance;
        FFormat = *pwfx;
        FQueue.clear();
        confirm = FConfirmOpen;
        *phwi = handle;
    }
    if (confirm)
        DeliverWaveInNotification(fdwOpen, dwCallback, dwInstance, handle, MM_WIM_OPEN, 0, 0);
    return MMSYSERR_NOERROR;
}

MMRESULT TFakeWaveInDriver::Close(HWAVEIN hwi)
{
    bool confirm;
    uint32_t flags;
    uintptr_t callback, instance;
    {
        std::lock_guard<std::mutex> lock(FMutex);
        if (const MMRESULT r = Enter(fcClose))
            return r;
        if (!ValidHandle(hwi))
            return MMSYSERR_INVALHANDLE;
        if (!FQueue.empty())
            return WAVERR_STILLPLAYING;
        FOpen = false;
        FStarted = false;
        FHandle = 0;
        confirm = FConfirmClose;
        flags = FFlags;
        callback = FCallback;
        instance = FInstance;
        FFormat.reset();
    }
    if (confirm)
        DeliverWaveInNotification(flags, callback, instance, hwi, MM_WIM_CLOSE, 0, 0);
    return MMSYSERR_NOERROR;
}

MMRESULT TFakeWaveInDriver::PrepareHeader(HWAVEIN hwi, TWaveHdr* pwh, uint32_t cbwh)
{
    std::lock_guard<std::mutex> lock(FMutex);
    if (const MMRESULT r = Enter(fcPrepareHeader))
        return r;
    if (!ValidHandle(hwi))
        return MMSYSERR_INVALHANDLE;
    if (!pwh || cbwh < WAVEHDR_DRIVER_SIZE || !pwh->lpData)
        return MMSYSERR_INVALPARAM;
    pwh->dwFlags |= WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT TFakeWaveInDriver::UnprepareHeader(HWAVEIN hwi, TWaveHdr* pwh, uint32_t cbwh)
{
    std::lock_guard<std::mutex> lock(FMutex);
    if (const MMRESULT r = Enter(fcUnprepareHeader))
        return r;
    if (!ValidHandle(hwi))
        return MMSYSERR_INVALHANDLE;
    if (!pwh || cbwh < WAVEHDR_DRIVER_SIZE)
        return MMSYSERR_INVALPARAM;
    if (pwh->dwFlags & WHDR_INQUEUE)
        return WAVERR_STILLPLAYING;
    pwh->dwFlags &= ~WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT TFakeWaveInDriver::AddBuffer(HWAVEIN hwi, TWaveHdr* pwh, uint32_t cbwh)
{
    std::lock_guard<std::mutex> lock(FMutex);
    if (const MMRESULT r = Enter(fcAddBuffer))
        return r;
    if (!ValidHandle(hwi))
        return MMSYSERR_INVALHANDLE;
    if (!pwh || cbwh < WAVEHDR_DRIVER_SIZE)
        return MMSYSERR_INVALPARAM;
    if (!(pwh->dwFlags & WHDR_PREPARED))
        return WAVERR_UNPREPARED;
    if (pwh->dwFlags & WHDR_INQUEUE)
        return WAVERR_STILLPLAYING;
    pwh->dwFlags = (pwh->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
    pwh->dwBytesRecorded = 0;
    FQueue.push_back(pwh);
    return MMSYSERR_NOERROR;
}

MMRESULT TFakeWaveInDriver::Start(HWAVEIN hwi)
{
    std::lock_guard<std::mutex> lock(FMutex);
    if (const MMRESULT r = Enter(fcStart))
        return r;
    if (!ValidHandle(hwi))
        return MMSYSERR_INVALHANDLE;
    FStarted = true;
    return MMSYSERR_NOERROR;
}

MMRESULT TFakeWaveInDriver::Stop(HWAVEIN hwi)
{
    std::vector<TNotice> notices;
    {
        std::lock_guard<std::mutex> lock(FMutex);
        if (const MMRESULT r = Enter(fcStop))
            return r;
        if (!ValidHandle(hwi))
            return MMSYSERR_INVALHANDLE;
        FStarted = false;
        if (!FQueue.empty() && FQueue.front()->dwBytesRecorded > 0)
            FinishFront(notices);
    }
    Notify(notices);
    return MMSYSERR_NOERROR;
}

MMRESULT TFakeWaveInDriver::Reset(HWAVEIN hwi)
{
    std::vector<TNotice> notices;
    {
        std::lock_guard<std::mutex> lock(FMutex);
        if (const MMRESULT r = Enter(fcReset))
            return r;
        if (!ValidHandle(hwi))
            return MMSYSERR_INVALHANDLE;
        FStarted = false;
        while (!FQueue.empty())
            FinishFront(notices);
    }
    Notify(notices);
    return MMSYSERR_NOERROR;
}

} // namespace qv
