#pragma once
// A scripted wave-input driver for tests: a list of devices with their
// capabilities, bytes delivered on demand into the queued buffers, any call made
// to fail with a given code (and that code's text), and opens or closes that are
// never confirmed. Every call is logged in order.
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/wave_in_driver.h"

namespace qv {

class TFakeWaveInDriver : public TWaveInDriver {
public:
    enum TCall : int {
        fcGetNumDevs,
        fcGetDevCaps,
        fcGetErrorText,
        fcOpen, // a real open (a format query is fcQuery)
        fcQuery,
        fcClose,
        fcPrepareHeader,
        fcUnprepareHeader,
        fcAddBuffer,
        fcStart,
        fcStop,
        fcReset,
        fcCallCount
    };
    static const char* CallName(TCall call);

    struct TDevice {
        std::string name = "Fake recording device";
        uint32_t formats = 0x0FFF; // every WAVE_FORMAT_xxx bit
        uint16_t channels = 2;
        MMRESULT queryResult = MMSYSERR_NOERROR; // answer to WAVE_FORMAT_QUERY
    };

    // One device by default.
    TFakeWaveInDriver();
    // Installs itself as the current driver for its lifetime.
    void Install();
    ~TFakeWaveInDriver() override;

    // --- script -----------------------------------------------------------
    void SetDevices(std::vector<TDevice> devices);
    // The next `times` calls of that kind fail with code (times < 0: every call
    // until cleared). A failing call has no other effect.
    void FailCall(TCall call, MMRESULT code, int times = 1);
    void ClearFailures();
    // Text GetErrorText gives for a code (overrides the standard texts).
    void SetErrorText(MMRESULT code, std::string text);
    // GetErrorText itself fails (MMSYSERR_BADERRNUM) for every code.
    void SetErrorTextFails(bool fails);
    // When false, Open succeeds but MM_WIM_OPEN never comes; likewise for Close.
    void SetConfirmOpen(bool confirm);
    void SetConfirmClose(bool confirm);

    // Fills the queued buffers in order with these bytes, as a started device
    // does; each full buffer comes back with WHDR_DONE through MM_WIM_DATA. A
    // partly filled buffer stays current. Returns the number of bytes taken
    // (fewer when the queue runs dry; 0 when not started).
    size_t Deliver(const void* data, size_t size);
    size_t Deliver(const std::vector<uint8_t>& bytes) { return Deliver(bytes.data(), bytes.size()); }
    // Returns the current buffer now with the bytes it holds (as a device that
    // cannot fill it any more).
    bool ReturnCurrent();

    // --- inspection -------------------------------------------------------
    std::vector<std::string> Log() const;  // "Open", "AddBuffer", ...
    void ClearLog();
    int CallCount(TCall call) const;
    int QueuedCount() const;
    bool IsOpen() const;
    bool IsStarted() const;
    HWAVEIN Handle() const;
    std::optional<TWaveFormatEx> OpenFormat() const;
    uint32_t OpenFlags() const;
    uint32_t OpenDeviceID() const;

    // --- TWaveInDriver ----------------------------------------------------
    uint32_t GetNumDevs() override;
    MMRESULT GetDevCaps(uintptr_t uDeviceID, TWaveInCaps* pwic, uint32_t cbwic) override;
    MMRESULT GetErrorText(MMRESULT mmrError, char* pszText, uint32_t cchText) override;
    MMRESULT Open(HWAVEIN* phwi, uint32_t uDeviceID, const TWaveFormatEx* pwfx, uintptr_t dwCallback,
                  uintptr_t dwInstance, uint32_t fdwOpen) override;
    MMRESULT Close(HWAVEIN hwi) override;
    MMRESULT PrepareHeader(HWAVEIN hwi, TWaveHdr* pwh, uint32_t cbwh) override;
    MMRESULT UnprepareHeader(HWAVEIN hwi, TWaveHdr* pwh, uint32_t cbwh) override;
    MMRESULT AddBuffer(HWAVEIN hwi, TWaveHdr* pwh, uint32_t cbwh) override;
    MMRESULT Start(HWAVEIN hwi) override;
    MMRESULT Stop(HWAVEIN hwi) override;
    MMRESULT Reset(HWAVEIN hwi) override;

private:
    struct TNotice {
        uint32_t msg;
        TWaveHdr* hdr;
    };
    // Logs the call and consumes a scripted failure; returns its code or 0.
    MMRESULT Enter(TCall call);
    bool ValidHandle(HWAVEIN hwi) const { return FOpen && hwi == FHandle; }
    void Notify(const std::vector<TNotice>& notices);
    void FinishFront(std::vector<TNotice>& out);

    mutable std::mutex FMutex;
    std::vector<TDevice> FDevices;
    std::map<int, std::pair<MMRESULT, int>> FFailures;
    std::map<MMRESULT, std::string> FErrorTexts;
    bool FErrorTextFails = false;
    bool FConfirmOpen = true;
    bool FConfirmClose = true;
    bool FInstalled = false;
    TWaveInDriver* FPrevious = nullptr;

    std::vector<std::string> FLog;
    int FCounts[fcCallCount] = {};

    bool FOpen = false;
    bool FStarted = false;
    HWAVEIN FHandle = 0;
    HWAVEIN FNextHandle = 0x100;
    uint32_t FDeviceID = 0;
    uint32_t FFlags = 0;
    uintptr_t FCallback = 0;
    uintptr_t FInstance = 0;
    std::optional<TWaveFormatEx> FFormat;
    std::vector<TWaveHdr*> FQueue; // front = current buffer
};

} // namespace qv
