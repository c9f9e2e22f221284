#pragma once
// The ALSA wave-input driver. Device 0 and the wave mapper (−1) are the ALSA
// "default" capture PCM; further devices are the hardware capture PCMs that
// ALSA's name hints list, opened through the plug layer so that every rate,
// channel count and sample size can be captured. Each open device has a capture
// thread that fills the queued buffers in order; it alone touches the PCM.
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/wave_in_driver.h"

namespace qv {

class TAlsaWaveInDriver : public TWaveInDriver {
public:
    TAlsaWaveInDriver();
    ~TAlsaWaveInDriver() override;

    // Overruns recovered on an open device since it was opened (0 for an unknown handle).
    uint32_t Overruns(HWAVEIN hwi);
    // The ALSA PCM name behind a device number (after GetNumDevs); empty when unknown.
    std::string PcmName(uint32_t uDeviceID);

    // How long a started device with queued buffers may deliver nothing before it
    // counts as lost (milliseconds).
    static constexpr int kStallTimeoutMs = 3000;

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

    struct TStream;

private:
    struct TDevice {
        std::string pcm;
        std::string name;
    };
    std::shared_ptr<TStream> Find(HWAVEIN hwi);
    // The PCM name of a device number; empty when out of range.
    std::string Resolve(uint32_t uDeviceID);
    void EnsureListed();

    std::mutex FLock;
    bool FListed = false;
    std::vector<TDevice> FDevices;
    std::map<HWAVEIN, std::shared_ptr<TStream>> FStreams;
    HWAVEIN FNextHandle = 1;
};

} // namespace qv
