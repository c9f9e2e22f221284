#include "platform/wave_in_alsa_driver.h"

#include <alsa/asoundlib.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstring>
#include <deque>
#include <thread>

namespace qv {

namespace {

using Clock = std::chrono::steady_clock;

// alsa-lib prints its complaints to stderr (a missing configuration, a server
// that is not running); the driver reports failures through its result codes.
void SilentAlsaErrors(const char*, int, const char*, int, const char*, ...) {}

MMRESULT CodeOfAlsaError(int err)
{
    switch (-err) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ESHUTDOWN:
    case EBADFD:
    case ECONNREFUSED:
        return MMSYSERR_NODRIVER;
    case EBUSY:
    case EAGAIN:
        return MMSYSERR_ALLOCATED;
    case ENOMEM:
        return MMSYSERR_NOMEM;
    case EINVAL:
        return WAVERR_BADFORMAT;
    default:
        return MMSYSERR_ERROR;
    }
}

bool IsPCMRecordable(const TWaveFormatEx* f)
{
    return f && f->wFormatTag == WAVE_FORMAT_PCM && (f->wBitsPerSample == 8 || f->wBitsPerSample == 16) &&
           (f->nChannels == 1 || f->nChannels == 2) && f->nSamplesPerSec > 0;
}

snd_pcm_format_t AlsaFormat(uint16_t bits) { return bits == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE; }

struct THwParams {
    snd_pcm_hw_params_t* p = nullptr;
    THwParams() { snd_pcm_hw_params_malloc(&p); }
    ~THwParams() { snd_pcm_hw_params_free(p); }
    THwParams(const THwParams&) = delete;
    THwParams& operator=(const THwParams&) = delete;
};

// Restricts the configuration space to the format; negative when impossible.
int RestrictToFormat(snd_pcm_t* pcm, snd_pcm_hw_params_t* p, uint16_t bits, uint16_t channels, uint32_t rate)
{
    int err;
    if ((err = snd_pcm_hw_params_set_rate_resample(pcm, p, 1)) < 0)
        return err;
    if ((err = snd_pcm_hw_params_set_access(pcm, p, SND_PCM_ACCESS_RW_INTERLEAVED)) < 0)
        return err;
    if ((err = snd_pcm_hw_params_set_format(pcm, p, AlsaFormat(bits))) < 0)
        return err;
    if ((err = snd_pcm_hw_params_set_channels(pcm, p, channels)) < 0)
        return err;
    return snd_pcm_hw_params_set_rate(pcm, p, rate, 0);
}

// Tests the format on a copy of the full configuration space.
bool CanRecord(snd_pcm_t* pcm, snd_pcm_hw_params_t* any, uint16_t bits, uint16_t channels, uint32_t rate)
{
    THwParams copy;
    if (!copy.p)
        return false;
    snd_pcm_hw_params_copy(copy.p, any);
    return RestrictToFormat(pcm, copy.p, bits, channels, rate) >= 0;
}

int OpenCapture(snd_pcm_t** pcm, const std::string& name)
{
    return snd_pcm_open(pcm, name.c_str(), SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK);
}

std::string FirstLine(const char* s)
{
    std::string text = s ? s : "";
    const auto nl = text.find('\n');
    return nl == std::string::npos ? text : text.substr(0, nl);
}

} // namespace

// ---------------------------------------------------------------------------
// One open device and its capture thread.

struct TAlsaWaveInDriver::TStream {
    enum TCommand { cmdNone, cmdStart, cmdStop, cmdReset, cmdQuit };

    HWAVEIN handle = 0;
    snd_pcm_t* pcm = nullptr;
    uint32_t bytesPerFrame = 1;
    uint32_t flags = 0;
    uintptr_t callback = 0;
    uintptr_t instance = 0;
    int wakeFd = -1;
    std::thread thread;
    std::atomic<std::thread::id> threadId{};

    // Guards the queue and the command slot.
    std::mutex m;
    std::condition_variable cv;
    std::deque<TWaveHdr*> queue;
    TCommand command = cmdNone;
    uint64_t commandSeq = 0;
    uint64_t doneSeq = 0;
    MMRESULT commandResult = MMSYSERR_NOERROR;
    std::mutex callerLock; // one command at a time

    // Owned by the capture thread (read elsewhere through the atomics).
    bool running = false;
    std::atomic<bool> lost{false};
    std::atomic<uint32_t> overruns{0};
    Clock::time_point lastProgress;
    std::vector<pollfd> fds;

    ~TStream()
    {
        if (pcm)
            snd_pcm_close(pcm);
        if (wakeFd >= 0)
            ::close(wakeFd);
    }

    void Notify(uint32_t msg, TWaveHdr* h)
    {
        DeliverWaveInNotification(flags, callback, instance, handle, msg, reinterpret_cast<uintptr_t>(h), 0);
    }

    void Wake()
    {
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t r = ::write(wakeFd, &one, sizeof one);
    }

    void DrainWake()
    {
        uint64_t value;
        [[maybe_unused]] ssize_t r = ::read(wakeFd, &value, sizeof value);
    }

    bool OnCaptureThread() const { return threadId.load() == std::this_thread::get_id(); }

    // Takes the front buffer off the queue, marked done, for the caller to return.
    TWaveHdr* PopFront()
    {
        std::lock_guard<std::mutex> lock(m);
        if (queue.empty())
            return nullptr;
        TWaveHdr* h = queue.front();
        queue.pop_front();
        h->dwFlags = (h->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
        return h;
    }

    void ReturnFront()
    {
        if (TWaveHdr* h = PopFront())
            Notify(MM_WIM_DATA, h);
    }

    void Halt()
    {
        if (running) {
            snd_pcm_drop(pcm);
            running = false;
        }
    }

    void MarkLost()
    {
        lost = true;
        Halt();
        // The buffer being filled comes back, even empty, so that the owner learns
        // of the loss through the next call it makes.
        ReturnFront();
    }

    MMRESULT Execute(TCommand cmd)
    {
        switch (cmd) {
        case cmdStart: {
            if (lost)
                return MMSYSERR_NODRIVER;
            if (running)
                return MMSYSERR_NOERROR;
            int err = 0;
            if (snd_pcm_state(pcm) != SND_PCM_STATE_PREPARED)
                err = snd_pcm_prepare(pcm);
            if (err >= 0)
                err = snd_pcm_start(pcm);
            if (err < 0) {
                const MMRESULT code = CodeOfAlsaError(err);
                if (code == MMSYSERR_NODRIVER)
                    lost = true;
                return code == WAVERR_BADFORMAT ? MMSYSERR_ERROR : code;
            }
            running = true;
            lastProgress = Clock::now();
            return MMSYSERR_NOERROR;
        }
        case cmdStop: {
            const bool was = running;
            Halt();
            bool partial = false;
            {
                std::lock_guard<std::mutex> lock(m);
                partial = was && !queue.empty() && queue.front()->dwBytesRecorded > 0;
            }
            if (partial)
                ReturnFront();
            return MMSYSERR_NOERROR;
        }
        case cmdReset:
            Halt();
            for (;;) {
                TWaveHdr* h = PopFront();
                if (!h)
                    break;
                Notify(MM_WIM_DATA, h);
            }
            return MMSYSERR_NOERROR;
        case cmdQuit:
            Halt();
            return MMSYSERR_NOERROR;
        case cmdNone:
            break;
        }
        return MMSYSERR_NOERROR;
    }

    // Runs a command on the capture thread and waits for it.
    MMRESULT Request(TCommand cmd)
    {
        if (OnCaptureThread())
            return Execute(cmd); // called back from our own notification
        std::lock_guard<std::mutex> serial(callerLock);
        std::unique_lock<std::mutex> lock(m);
        command = cmd;
        const uint64_t seq = ++commandSeq;
        cv.notify_all();
        Wake();
        cv.wait(lock, [&] { return doneSeq >= seq; });
        return commandResult;
    }

    // Fills the front buffer with what the device has; returns false when the
    // thread should wait for the next event instead.
    void ReadSome(TWaveHdr* h)
    {
        const uint32_t roomFrames = (h->dwBufferLength - h->dwBytesRecorded) / bytesPerFrame;
        if (roomFrames == 0) {
            ReturnFront();
            return;
        }
        const snd_pcm_sframes_t n = snd_pcm_readi(pcm, h->lpData + h->dwBytesRecorded, roomFrames);
        if (n > 0) {
            h->dwBytesRecorded += static_cast<uint32_t>(n) * bytesPerFrame;
            lastProgress = Clock::now();
            if ((h->dwBufferLength - h->dwBytesRecorded) < bytesPerFrame)
                ReturnFront();
            return;
        }
        if (n == 0 || n == -EAGAIN) {
            WaitForDevice();
            return;
        }
        if (n == -EPIPE || n == -ESTRPIPE || n == -EINTR) {
            // Overrun (the owner was too slow to give buffers back) or a suspend:
            // recover and go on; the frames lost are gone.
            int err = snd_pcm_recover(pcm, static_cast<int>(n), 1);
            if (err >= 0 && snd_pcm_state(pcm) == SND_PCM_STATE_PREPARED)
                err = snd_pcm_start(pcm);
            if (err < 0) {
                MarkLost();
                return;
            }
            if (n == -EPIPE)
                ++overruns;
            lastProgress = Clock::now();
            return;
        }
        MarkLost();
    }

    void WaitForDevice()
    {
        for (pollfd& p : fds)
            p.revents = 0;
        const int r = ::poll(fds.data(), static_cast<nfds_t>(fds.size()), 100);
        if (r > 0 && (fds.back().revents & POLLIN))
            DrainWake();
        if (r > 0 && fds.size() > 1) {
            unsigned short revents = 0;
            // Lets the plugin clear its own descriptors; errors show up on the next read.
            snd_pcm_poll_descriptors_revents(pcm, fds.data(), static_cast<unsigned int>(fds.size() - 1), &revents);
        }
        if (Clock::now() - lastProgress > std::chrono::milliseconds(kStallTimeoutMs))
            MarkLost(); // a device that stopped delivering must not hang the capture
    }

    void Run()
    {
        threadId = std::this_thread::get_id();
        Notify(MM_WIM_OPEN, nullptr);
        std::unique_lock<std::mutex> lock(m);
        for (;;) {
            if (command != cmdNone) {
                const TCommand cmd = command;
                command = cmdNone;
                const uint64_t seq = commandSeq;
                lock.unlock();
                const MMRESULT r = Execute(cmd);
                lock.lock();
                commandResult = r;
                doneSeq = seq;
                cv.notify_all();
                if (cmd == cmdQuit)
                    return;
                continue;
            }
            if (!running || lost || queue.empty()) {
                cv.wait(lock, [&] { return command != cmdNone || (running && !lost && !queue.empty()); });
                lastProgress = Clock::now(); // waiting for buffers is not a stall of the device
                continue;
            }
            TWaveHdr* h = queue.front();
            lock.unlock();
            ReadSome(h);
            lock.lock();
        }
    }
};

// ---------------------------------------------------------------------------

TWaveInDriver& AlsaWaveInDriver()
{
    static TAlsaWaveInDriver driver;
    return driver;
}

TAlsaWaveInDriver::TAlsaWaveInDriver() { snd_lib_error_set_handler(&SilentAlsaErrors); }

TAlsaWaveInDriver::~TAlsaWaveInDriver()
{
    std::map<HWAVEIN, std::shared_ptr<TStream>> streams;
    {
        std::lock_guard<std::mutex> lock(FLock);
        streams.swap(FStreams);
    }
    for (auto& [handle, s] : streams) {
        s->Request(TStream::cmdQuit);
        if (s->thread.joinable())
            s->thread.join();
    }
}

std::shared_ptr<TAlsaWaveInDriver::TStream> TAlsaWaveInDriver::Find(HWAVEIN hwi)
{
    std::lock_guard<std::mutex> lock(FLock);
    auto it = FStreams.find(hwi);
    return it == FStreams.end() ? nullptr : it->second;
}

uint32_t TAlsaWaveInDriver::Overruns(HWAVEIN hwi)
{
    auto s = Find(hwi);
    return s ? s->overruns.load() : 0;
}

void TAlsaWaveInDriver::EnsureListed()
{
    bool listed;
    {
        std::lock_guard<std::mutex> lock(FLock);
        listed = FListed;
    }
    if (!listed)
        GetNumDevs();
}

std::string TAlsaWaveInDriver::PcmName(uint32_t uDeviceID)
{
    EnsureListed();
    return Resolve(uDeviceID);
}

std::string TAlsaWaveInDriver::Resolve(uint32_t uDeviceID)
{
    std::lock_guard<std::mutex> lock(FLock);
    if (uDeviceID == WAVE_MAPPER)
        return "default";
    if (uDeviceID < FDevices.size())
        return FDevices[uDeviceID].pcm;
    return {};
}

uint32_t TAlsaWaveInDriver::GetNumDevs()
{
    auto probe = [](const std::string& name) {
        snd_pcm_t* pcm = nullptr;
        if (OpenCapture(&pcm, name) < 0)
            return false;
        snd_pcm_close(pcm);
        return true;
    };
    std::vector<TDevice> devices;
    // Any failure to open the default capture PCM means there is nothing to record from.
    if (probe("default")) {
        devices.push_back({"default", "Default recording device"});
        void** hints = nullptr;
        if (snd_device_name_hint(-1, "pcm", &hints) >= 0 && hints) {
            for (void** h = hints; *h; ++h) {
                char* name = snd_device_name_get_hint(*h, "NAME");
                char* desc = snd_device_name_get_hint(*h, "DESC");
                char* ioid = snd_device_name_get_hint(*h, "IOID");
                const std::string n = name ? name : "";
                const bool input = !ioid || std::strcmp(ioid, "Input") == 0;
                // Hardware devices go through the plug layer, which converts
                // whatever the card does into the format asked for.
                if (input && n.rfind("hw:", 0) == 0 && probe("plug" + n))
                    devices.push_back({"plug" + n, FirstLine(desc)});
                std::free(name);
                std::free(desc);
                std::free(ioid);
            }
            snd_device_name_free_hint(hints);
        }
    }
    std::lock_guard<std::mutex> lock(FLock);
    FDevices = std::move(devices);
    FListed = true;
    return static_cast<uint32_t>(FDevices.size());
}

MMRESULT TAlsaWaveInDriver::GetDevCaps(uintptr_t uDeviceID, TWaveInCaps* pwic, uint32_t cbwic)
{
    if (!pwic || cbwic < sizeof(TWaveInCaps))
        return MMSYSERR_INVALPARAM;
    EnsureListed();
    const uint32_t id = static_cast<uint32_t>(uDeviceID);
    std::string pcmName, display;
    {
        std::lock_guard<std::mutex> lock(FLock);
        const size_t index = id == WAVE_MAPPER ? 0 : id;
        if (index >= FDevices.size())
            return MMSYSERR_BADDEVICEID;
        pcmName = FDevices[index].pcm;
        display = FDevices[index].name;
    }
    snd_pcm_t* pcm = nullptr;
    const int err = OpenCapture(&pcm, pcmName);
    if (err < 0)
        return CodeOfAlsaError(err) == MMSYSERR_ALLOCATED ? MMSYSERR_ALLOCATED : MMSYSERR_BADDEVICEID;
    std::memset(pwic, 0, sizeof(TWaveInCaps));
    std::strncpy(pwic->szPname, display.c_str(), MAXPNAMELEN - 1);
    pwic->vDriverVersion = 0x0100;
    THwParams any;
    if (any.p && snd_pcm_hw_params_any(pcm, any.p) >= 0) {
        // Bands 11025, 22050, 44100 Hz; in each: mono 8, stereo 8, mono 16, stereo 16 bits.
        static const uint32_t rates[3] = {11025, 22050, 44100};
        for (int band = 0; band < 3; ++band)
            for (int kind = 0; kind < 4; ++kind) {
                const uint16_t bits = kind >= 2 ? 16 : 8;
                const uint16_t channels = (kind & 1) ? 2 : 1;
                if (CanRecord(pcm, any.p, bits, channels, rates[band]))
                    pwic->dwFormats |= 1u << (band * 4 + kind);
            }
        pwic->wChannels = CanRecord(pcm, any.p, 16, 2, 44100) || CanRecord(pcm, any.p, 8, 2, 11025) ? 2 : 1;
    }
    snd_pcm_close(pcm);
    return MMSYSERR_NOERROR;
}

MMRESULT TAlsaWaveInDriver::GetErrorText(MMRESULT mmrError, char* pszText, uint32_t cchText)
{
    if (!pszText || cchText == 0)
        return MMSYSERR_INVALPARAM;
    const char* text = StandardWaveInErrorText(mmrError);
    if (!text)
        return MMSYSERR_BADERRNUM;
    const size_t n = std::min<size_t>(std::strlen(text), cchText - 1);
    std::memcpy(pszText, text, n);
    pszText[n] = '\0';
    return MMSYSERR_NOERROR;
}

MMRESULT TAlsaWaveInDriver::Open(HWAVEIN* phwi, uint32_t uDeviceID, const TWaveFormatEx* pwfx,
                                 uintptr_t dwCallback, uintptr_t dwInstance, uint32_t fdwOpen)
{
    if (!pwfx)
        return MMSYSERR_INVALPARAM;
    EnsureListed();
    const std::string name = Resolve(uDeviceID);
    if (name.empty())
        return MMSYSERR_BADDEVICEID;
    if (!IsPCMRecordable(pwfx))
        return WAVERR_BADFORMAT;
    const bool query = (fdwOpen & WAVE_FORMAT_QUERY) != 0;
    if (!query && !phwi)
        return MMSYSERR_INVALPARAM;

    snd_pcm_t* pcm = nullptr;
    int err = OpenCapture(&pcm, name);
    if (err < 0)
        return CodeOfAlsaError(err) == WAVERR_BADFORMAT ? MMSYSERR_ERROR : CodeOfAlsaError(err);
    auto stream = std::make_shared<TStream>();
    stream->pcm = pcm;

    THwParams hw;
    if (!hw.p)
        return MMSYSERR_NOMEM;
    err = snd_pcm_hw_params_any(pcm, hw.p);
    if (err >= 0)
        err = RestrictToFormat(pcm, hw.p, pwfx->wBitsPerSample, pwfx->nChannels, pwfx->nSamplesPerSec);
    if (err < 0)
        return WAVERR_BADFORMAT;
    if (query)
        return MMSYSERR_NOERROR;

    // A period of about 20 ms keeps partly filled buffers moving; half a second
    // of device buffer absorbs a busy main thread before frames are lost.
    unsigned int bufferUs = 500000, periodUs = 20000;
    snd_pcm_hw_params_set_buffer_time_near(pcm, hw.p, &bufferUs, nullptr);
    snd_pcm_hw_params_set_period_time_near(pcm, hw.p, &periodUs, nullptr);
    err = snd_pcm_hw_params(pcm, hw.p);
    if (err < 0)
        return CodeOfAlsaError(err);
    err = snd_pcm_prepare(pcm);
    if (err < 0)
        return CodeOfAlsaError(err);

    stream->bytesPerFrame = static_cast<uint32_t>(pwfx->nChannels) * (pwfx->wBitsPerSample / 8);
    stream->flags = fdwOpen;
    stream->callback = dwCallback;
    stream->instance = dwInstance;
    stream->wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (stream->wakeFd < 0)
        return MMSYSERR_NOMEM;
    const int count = snd_pcm_poll_descriptors_count(pcm);
    stream->fds.resize(static_cast<size_t>(std::max(count, 0)) + 1);
    if (count > 0 && snd_pcm_poll_descriptors(pcm, stream->fds.data(), static_cast<unsigned int>(count)) < 0)
        return MMSYSERR_ERROR;
    stream->fds.back() = pollfd{stream->wakeFd, POLLIN, 0};

    {
        std::lock_guard<std::mutex> lock(FLock);
        stream->handle = FNextHandle++;
        FStreams[stream->handle] = stream;
    }
    *phwi = stream->handle;
    // The thread confirms the open with MM_WIM_OPEN once it runs.
    stream->thread = std::thread([s = stream.get()] { s->Run(); });
    return MMSYSERR_NOERROR;
}

MMRESULT TAlsaWaveInDriver::Close(HWAVEIN hwi)
{
    auto s = Find(hwi);
    if (!s)
        return MMSYSERR_INVALHANDLE;
    if (s->OnCaptureThread())
        return MMSYSERR_HANDLEBUSY; // the thread cannot wait for itself
    {
        std::lock_guard<std::mutex> lock(s->m);
        if (!s->queue.empty())
            return WAVERR_STILLPLAYING;
    }
    {
        std::lock_guard<std::mutex> lock(FLock);
        FStreams.erase(hwi);
    }
    s->Request(TStream::cmdQuit);
    if (s->thread.joinable())
        s->thread.join();
    snd_pcm_close(s->pcm);
    s->pcm = nullptr;
    s->Notify(MM_WIM_CLOSE, nullptr);
    return MMSYSERR_NOERROR;
}

MMRESULT TAlsaWaveInDriver::PrepareHeader(HWAVEIN hwi, TWaveHdr* pwh, uint32_t cbwh)
{
    auto s = Find(hwi);
    if (!s)
        return MMSYSERR_INVALHANDLE;
    if (!pwh || cbwh < WAVEHDR_DRIVER_SIZE || !pwh->lpData)
        return MMSYSERR_INVALPARAM;
    std::lock_guard<std::mutex> lock(s->m);
    pwh->dwFlags |= WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT TAlsaWaveInDriver::UnprepareHeader(HWAVEIN hwi, TWaveHdr* pwh, uint32_t cbwh)
{
    auto s = Find(hwi);
    if (!s)
        return MMSYSERR_INVALHANDLE;
    if (!pwh || cbwh < WAVEHDR_DRIVER_SIZE)
        return MMSYSERR_INVALPARAM;
    std::lock_guard<std::mutex> lock(s->m);
    if (pwh->dwFlags & WHDR_INQUEUE)
        return WAVERR_STILLPLAYING;
    pwh->dwFlags &= ~WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT TAlsaWaveInDriver::AddBuffer(HWAVEIN hwi, TWaveHdr* pwh, uint32_t cbwh)
{
    auto s = Find(hwi);
    if (!s)
        return MMSYSERR_INVALHANDLE;
    if (!pwh || cbwh < WAVEHDR_DRIVER_SIZE || !pwh->lpData)
        return MMSYSERR_INVALPARAM;
    if (s->lost)
        return MMSYSERR_NODRIVER;
    std::lock_guard<std::mutex> lock(s->m);
    if (!(pwh->dwFlags & WHDR_PREPARED))
        return WAVERR_UNPREPARED;
    if (pwh->dwFlags & WHDR_INQUEUE)
        return WAVERR_STILLPLAYING;
    pwh->dwFlags = (pwh->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
    pwh->dwBytesRecorded = 0;
    s->queue.push_back(pwh);
    s->cv.notify_all();
    return MMSYSERR_NOERROR;
}

MMRESULT TAlsaWaveInDriver::Start(HWAVEIN hwi)
{
    auto s = Find(hwi);
    return s ? s->Request(TStream::cmdStart) : MMSYSERR_INVALHANDLE;
}

MMRESULT TAlsaWaveInDriver::Stop(HWAVEIN hwi)
{
    auto s = Find(hwi);
    return s ? s->Request(TStream::cmdStop) : MMSYSERR_INVALHANDLE;
}

MMRESULT TAlsaWaveInDriver::Reset(HWAVEIN hwi)
{
    auto s = Find(hwi);
    return s ? s->Request(TStream::cmdReset) : MMSYSERR_INVALHANDLE;
}

} // namespace qv
