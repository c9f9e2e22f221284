/*
 * A capture-only ALSA PCM that serves a known signal paced in real time, for
 * tests and demonstrations on machines without a sound card.
 *
 *   pcm_type.qvsource { lib "/path/libasound_module_pcm_qvsource.so" }
 *   pcm.default {
 *       type qvsource
 *       tone 440          # sine frequency in Hz (default 1000)
 *       amplitude 50      # percent of full scale (default 50)
 *       ramp false        # serve the frame counter instead (8 bits: n mod 256, 16 bits: n mod 65536)
 *       file "/x.raw"     # serve this file's bytes instead, looping
 *       fail_after_ms 0   # the device disappears this long after the first start (0 = never)
 *       stall_after_ms 0  # the device stops delivering this long after the first start (0 = never)
 *   }
 *
 * The signal follows the clock: frame n of the stream is the one that is due
 * n / rate seconds after the first start, so frames lost to an overrun, a
 * pause or a restart show as a jump in the ramp. When the reader lets more
 * than the buffer's worth of frames pile up the PCM reports an overrun.
 */
#include <alsa/asoundlib.h>
#include <alsa/pcm_external.h>
#include <errno.h>
#include <math.h>
#include <poll.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

typedef struct {
    snd_pcm_ioplug_t io;
    int timer_fd;
    /* signal */
    long tone_hz;
    long amplitude_pct;
    int ramp;
    unsigned char* file_data;
    size_t file_size;
    long fail_after_ms;
    long stall_after_ms;
    /* clock */
    int started_once;
    struct timespec origin;       /* first start */
    uint64_t run_base_frame;      /* stream frame of this run's first frame */
    struct timespec run_start;    /* start of this run */
    snd_pcm_uframes_t appl_at_start;
    int failed;
} qvsource_t;

static int64_t elapsed_ns(const struct timespec* since)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (int64_t)(now.tv_sec - since->tv_sec) * 1000000000LL + (now.tv_nsec - since->tv_nsec);
}

static int gone(qvsource_t* s)
{
    if (s->failed)
        return 1;
    if (s->started_once && s->fail_after_ms > 0 && elapsed_ns(&s->origin) >= s->fail_after_ms * 1000000LL)
        s->failed = 1;
    return s->failed;
}

/* Frames the device has produced in this run (held still once stalled). */
static uint64_t produced(qvsource_t* s)
{
    int64_t ns = elapsed_ns(&s->run_start);
    if (s->stall_after_ms > 0) {
        int64_t limit = s->stall_after_ms * 1000000LL - elapsed_ns(&s->origin) + ns;
        if (ns > limit)
            ns = limit > 0 ? limit : 0;
    }
    return (uint64_t)(ns / 1000) * s->io.rate / 1000000u;
}

static snd_pcm_uframes_t consumed(qvsource_t* s)
{
    return s->io.appl_ptr - s->appl_at_start;
}

static void arm_timer(qvsource_t* s, int on)
{
    struct itimerspec period;
    memset(&period, 0, sizeof period);
    if (on && s->io.rate > 0) {
        long ns = (long)((int64_t)s->io.period_size * 1000000000LL / s->io.rate);
        if (ns < 1000000)
            ns = 1000000;
        period.it_interval.tv_sec = ns / 1000000000L;
        period.it_interval.tv_nsec = ns % 1000000000L;
        period.it_value = period.it_interval;
    }
    timerfd_settime(s->timer_fd, 0, &period, NULL);
}

static int qv_start(snd_pcm_ioplug_t* io)
{
    qvsource_t* s = io->private_data;
    if (gone(s))
        return -ENODEV;
    clock_gettime(CLOCK_MONOTONIC, &s->run_start);
    if (!s->started_once) {
        s->origin = s->run_start;
        s->started_once = 1;
    }
    s->run_base_frame = (uint64_t)(elapsed_ns(&s->origin) / 1000) * io->rate / 1000000u;
    s->appl_at_start = io->appl_ptr;
    arm_timer(s, 1);
    return 0;
}

static int qv_stop(snd_pcm_ioplug_t* io)
{
    qvsource_t* s = io->private_data;
    arm_timer(s, 0);
    return 0;
}

static int qv_prepare(snd_pcm_ioplug_t* io)
{
    qvsource_t* s = io->private_data;
    return gone(s) ? -ENODEV : 0;
}

static snd_pcm_sframes_t qv_pointer(snd_pcm_ioplug_t* io)
{
    qvsource_t* s = io->private_data;
    if (gone(s))
        return -ENODEV;
    if (io->state != SND_PCM_STATE_RUNNING)
        return (snd_pcm_sframes_t)(consumed(s) % io->buffer_size);
    uint64_t made = produced(s);
    if (made - consumed(s) > io->buffer_size)
        return -EPIPE; /* the reader fell a whole buffer behind */
    return (snd_pcm_sframes_t)(made % io->buffer_size);
}

static int sample_of(qvsource_t* s, uint64_t frame, int channel, int bits, unsigned frame_bytes)
{
    if (s->ramp)
        return bits == 8 ? (int)(frame & 0xFF) : (int)(int16_t)(uint16_t)(frame & 0xFFFF);
    if (s->file_data) {
        size_t pos = (size_t)((frame * frame_bytes + (unsigned)channel * (unsigned)(bits / 8)) % s->file_size);
        if (bits == 8)
            return s->file_data[pos];
        return (int)(int16_t)(uint16_t)(s->file_data[pos] | (s->file_data[(pos + 1) % s->file_size] << 8));
    }
    double phase = 2.0 * M_PI * (double)s->tone_hz * (double)frame / (double)s->io.rate;
    double v = sin(phase) * (double)s->amplitude_pct / 100.0;
    return bits == 8 ? (int)lround(128.0 + v * 127.0) : (int)lround(v * 32767.0);
}

static snd_pcm_sframes_t qv_transfer(snd_pcm_ioplug_t* io, const snd_pcm_channel_area_t* areas,
                                     snd_pcm_uframes_t offset, snd_pcm_uframes_t size)
{
    qvsource_t* s = io->private_data;
    const int bits = io->format == SND_PCM_FORMAT_U8 ? 8 : 16;
    const unsigned frame_bytes = io->channels * (unsigned)(bits / 8);
    uint64_t first = s->run_base_frame + consumed(s);
    for (snd_pcm_uframes_t i = 0; i < size; ++i) {
        for (unsigned c = 0; c < io->channels; ++c) {
            const snd_pcm_channel_area_t* a = &areas[c];
            unsigned char* dst =
                (unsigned char*)a->addr + (a->first + (offset + i) * a->step) / 8;
            int v = sample_of(s, first + i, (int)c, bits, frame_bytes);
            if (bits == 8) {
                *dst = (unsigned char)v;
            } else {
                uint16_t u = (uint16_t)(int16_t)v;
                dst[0] = (unsigned char)(u & 0xFF);
                dst[1] = (unsigned char)(u >> 8);
            }
        }
    }
    return (snd_pcm_sframes_t)size;
}

static int qv_poll_revents(snd_pcm_ioplug_t* io, struct pollfd* pfd, unsigned int nfds, unsigned short* revents)
{
    qvsource_t* s = io->private_data;
    uint64_t ticks;
    (void)nfds;
    if (pfd[0].revents & POLLIN) {
        ssize_t r = read(s->timer_fd, &ticks, sizeof ticks);
        (void)r;
    }
    *revents = 0;
    if (gone(s)) {
        *revents = POLLERR;
    } else if (io->state == SND_PCM_STATE_RUNNING) {
        uint64_t made = produced(s);
        uint64_t have = made - consumed(s);
        if (have > io->buffer_size)
            *revents = POLLERR;
        else if (have > 0)
            *revents = POLLIN;
    }
    return 0;
}

static int qv_close(snd_pcm_ioplug_t* io)
{
    qvsource_t* s = io->private_data;
    close(s->timer_fd);
    free(s->file_data);
    free(s);
    return 0;
}

static const snd_pcm_ioplug_callback_t qv_callbacks = {
    .start = qv_start,
    .stop = qv_stop,
    .pointer = qv_pointer,
    .transfer = qv_transfer,
    .close = qv_close,
    .prepare = qv_prepare,
    .poll_revents = qv_poll_revents,
};

static int load_file(qvsource_t* s, const char* path)
{
    FILE* f = fopen(path, "rb");
    if (!f)
        return -errno;
    fseek(f, 0, SEEK_END);
    long size = ftell(f);
    fseek(f, 0, SEEK_SET);
    if (size <= 0) {
        fclose(f);
        return -EINVAL;
    }
    s->file_data = malloc((size_t)size);
    if (!s->file_data) {
        fclose(f);
        return -ENOMEM;
    }
    s->file_size = fread(s->file_data, 1, (size_t)size, f);
    fclose(f);
    return s->file_size > 0 ? 0 : -EIO;
}

SND_PCM_PLUGIN_DEFINE_FUNC(qvsource)
{
    snd_config_iterator_t i, next;
    qvsource_t* s;
    const char* file = NULL;
    long tone = 1000, amplitude = 50, fail_after = 0, stall_after = 0;
    int ramp = 0, err;
    (void)root;

    snd_config_for_each(i, next, conf) {
        snd_config_t* n = snd_config_iterator_entry(i);
        const char* id;
        if (snd_config_get_id(n, &id) < 0)
            continue;
        if (!strcmp(id, "comment") || !strcmp(id, "type") || !strcmp(id, "hint"))
            continue;
        if (!strcmp(id, "tone") && snd_config_get_integer(n, &tone) >= 0)
            continue;
        if (!strcmp(id, "amplitude") && snd_config_get_integer(n, &amplitude) >= 0)
            continue;
        if (!strcmp(id, "fail_after_ms") && snd_config_get_integer(n, &fail_after) >= 0)
            continue;
        if (!strcmp(id, "stall_after_ms") && snd_config_get_integer(n, &stall_after) >= 0)
            continue;
        if (!strcmp(id, "file") && snd_config_get_string(n, &file) >= 0)
            continue;
        if (!strcmp(id, "ramp") && (ramp = snd_config_get_bool(n)) >= 0)
            continue;
        SNDERR("qvsource: bad or unknown field %s", id);
        return -EINVAL;
    }
    if (stream != SND_PCM_STREAM_CAPTURE)
        return -EINVAL; /* a source only */

    s = calloc(1, sizeof *s);
    if (!s)
        return -ENOMEM;
    s->tone_hz = tone;
    s->amplitude_pct = amplitude;
    s->ramp = ramp;
    s->fail_after_ms = fail_after;
    s->stall_after_ms = stall_after;
    if (file && (err = load_file(s, file)) < 0) {
        free(s);
        return err;
    }
    s->timer_fd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (s->timer_fd < 0) {
        free(s->file_data);
        free(s);
        return -errno;
    }

    s->io.version = SND_PCM_IOPLUG_VERSION;
    s->io.name = "Quorvane test source";
    s->io.callback = &qv_callbacks;
    s->io.private_data = s;
    s->io.poll_fd = s->timer_fd;
    s->io.poll_events = POLLIN;
    s->io.mmap_rw = 0;
    s->io.flags = SND_PCM_IOPLUG_FLAG_MONOTONIC;

    err = snd_pcm_ioplug_create(&s->io, name, stream, mode);
    if (err < 0) {
        close(s->timer_fd);
        free(s->file_data);
        free(s);
        return err;
    }
    {
        static const unsigned int access[] = {SND_PCM_ACCESS_RW_INTERLEAVED};
        static const unsigned int formats[] = {SND_PCM_FORMAT_U8, SND_PCM_FORMAT_S16_LE};
        if ((err = snd_pcm_ioplug_set_param_list(&s->io, SND_PCM_IOPLUG_HW_ACCESS, 1, access)) < 0 ||
            (err = snd_pcm_ioplug_set_param_list(&s->io, SND_PCM_IOPLUG_HW_FORMAT, 2, formats)) < 0 ||
            (err = snd_pcm_ioplug_set_param_minmax(&s->io, SND_PCM_IOPLUG_HW_CHANNELS, 1, 2)) < 0 ||
            (err = snd_pcm_ioplug_set_param_minmax(&s->io, SND_PCM_IOPLUG_HW_RATE, 4000, 192000)) < 0 ||
            (err = snd_pcm_ioplug_set_param_minmax(&s->io, SND_PCM_IOPLUG_HW_PERIOD_BYTES, 16, 1 << 20)) < 0 ||
            (err = snd_pcm_ioplug_set_param_minmax(&s->io, SND_PCM_IOPLUG_HW_PERIODS, 2, 1024)) < 0 ||
            (err = snd_pcm_ioplug_set_param_minmax(&s->io, SND_PCM_IOPLUG_HW_BUFFER_BYTES, 64, 4 << 20)) < 0) {
            snd_pcm_ioplug_delete(&s->io);
            return err;
        }
    }
    *pcmp = s->io.pcm;
    return 0;
}

SND_PCM_PLUGIN_SYMBOL(qvsource)
