#include "SonotrapPcm.h"

#include "CaptureBuffer.h"
#include "PulseMonitor.h"

#include <alsa/pcm_external.h>
#include <errno.h>
#include <poll.h>
#include <stdlib.h>
#include <string.h>
#include <sys/eventfd.h>
#include <unistd.h>

#define QUERY_TIMEOUT_MS 3000
#define MIN_PERIOD_BYTES 4096u
#define MIN_BUFFER_BYTES SONOTRAP_SAMPLE_BYTES
#define MIN_RATE 8000u
#define MAX_RATE 192000u
#define COUNT_OF(array) (sizeof(array) / sizeof((array)[0]))

typedef struct sonotrap_pcm
{
    snd_pcm_ioplug_t io;
    int event_fd;
    sonotrap_buffer buffer;
    sonotrap_capture* capture;
    sonotrap_output output; /* the default output when the PCM was opened */
    size_t frame_bytes;
    uint64_t delivered; /* frames handed to the program since prepare */
    snd_pcm_uframes_t boundary;
    snd_pcm_uframes_t avail_min;
} sonotrap_pcm;

static pa_sample_format_t pulse_format(snd_pcm_format_t format)
{
    switch (format) {
    case SND_PCM_FORMAT_U8:
        return PA_SAMPLE_U8;
    case SND_PCM_FORMAT_S16_LE:
        return PA_SAMPLE_S16LE;
    case SND_PCM_FORMAT_S32_LE:
        return PA_SAMPLE_S32LE;
    case SND_PCM_FORMAT_FLOAT_LE:
        return PA_SAMPLE_FLOAT32LE;
    default:
        return PA_SAMPLE_INVALID;
    }
}

static void drain_events(sonotrap_pcm* pcm)
{
    uint64_t count;
    while (read(pcm->event_fd, &count, sizeof count) == (ssize_t)sizeof count) {
    }
}

static int sonotrap_start(snd_pcm_ioplug_t* io)
{
    sonotrap_pcm* pcm = io->private_data;
    const pa_sample_spec spec = {pulse_format(io->format), io->rate, (uint8_t)io->channels};
    if (!pa_sample_spec_valid(&spec))
        return -EINVAL;
    return sonotrap_capture_start(pcm->capture, &spec);
}

static int sonotrap_stop(snd_pcm_ioplug_t* io)
{
    sonotrap_pcm* pcm = io->private_data;
    sonotrap_capture_stop(pcm->capture);
    return 0;
}

static snd_pcm_sframes_t sonotrap_pointer(snd_pcm_ioplug_t* io)
{
    sonotrap_pcm* pcm = io->private_data;
    /* Everything captured is ready at once: the position runs ahead of the program's by the
     * frames waiting, which never exceed the ALSA buffer (the limit is that buffer). */
    const uint64_t position = pcm->delivered + sonotrap_buffer_level(&pcm->buffer) / pcm->frame_bytes;
    return (snd_pcm_sframes_t)(pcm->boundary ? position % pcm->boundary : position % io->buffer_size);
}

static snd_pcm_sframes_t sonotrap_transfer(snd_pcm_ioplug_t* io,
                                           const snd_pcm_channel_area_t* areas,
                                           snd_pcm_uframes_t offset,
                                           snd_pcm_uframes_t size)
{
    sonotrap_pcm* pcm = io->private_data;
    unsigned char* destination = (unsigned char*)areas[0].addr + (areas[0].first + areas[0].step * offset) / 8;
    int gap = 0;
    const size_t bytes = sonotrap_buffer_take(&pcm->buffer, destination, size * pcm->frame_bytes, &gap);
    const snd_pcm_uframes_t frames = bytes / pcm->frame_bytes;
    pcm->delivered += frames;
    if (gap && pcm->delivered > frames && getenv("SONOTRAP_DEBUG"))
        SNDERR("sonotrap: gap before frame %llu", (unsigned long long)(pcm->delivered - frames));
    return (snd_pcm_sframes_t)frames;
}

static int sonotrap_prepare(snd_pcm_ioplug_t* io)
{
    sonotrap_pcm* pcm = io->private_data;
    sonotrap_capture_stop(pcm->capture);
    pcm->frame_bytes = snd_pcm_format_physical_width(io->format) / 8 * io->channels;
    if (pcm->frame_bytes == 0)
        return -EINVAL;
    sonotrap_buffer_reset(&pcm->buffer, pcm->frame_bytes, io->buffer_size * pcm->frame_bytes);
    sonotrap_buffer_set_wake(&pcm->buffer, pcm->avail_min * pcm->frame_bytes);
    pcm->delivered = 0;
    drain_events(pcm);
    return 0;
}

static int sonotrap_sw_params(snd_pcm_ioplug_t* io, snd_pcm_sw_params_t* params)
{
    sonotrap_pcm* pcm = io->private_data;
    snd_pcm_sw_params_get_boundary(params, &pcm->boundary);
    snd_pcm_sw_params_get_avail_min(params, &pcm->avail_min);
    if (pcm->avail_min == 0)
        pcm->avail_min = 1;
    sonotrap_buffer_set_wake(&pcm->buffer, pcm->avail_min * pcm->frame_bytes);
    return 0;
}

static int sonotrap_poll_revents(snd_pcm_ioplug_t* io, struct pollfd* pfd, unsigned int nfds, unsigned short* revents)
{
    sonotrap_pcm* pcm = io->private_data;
    if (nfds != 1)
        return -EINVAL;
    *revents = pfd[0].revents & (POLLERR | POLLNVAL);
    drain_events(pcm);
    /* Readable once a whole avail_min is waiting, as a sound card would report it. */
    if (pcm->frame_bytes && sonotrap_buffer_level(&pcm->buffer) / pcm->frame_bytes >= pcm->avail_min)
        *revents |= POLLIN;
    return 0;
}

/* Frees whatever of the PCM was made: the one way out of a failed open and of close. */
static void release(sonotrap_pcm* pcm)
{
    sonotrap_capture_free(pcm->capture);
    sonotrap_buffer_destroy(&pcm->buffer);
    if (pcm->event_fd >= 0)
        close(pcm->event_fd);
    free(pcm);
}

static int sonotrap_close(snd_pcm_ioplug_t* io)
{
    release(io->private_data);
    return 0;
}

static void sonotrap_dump(snd_pcm_ioplug_t* io, snd_output_t* out)
{
    sonotrap_pcm* pcm = io->private_data;
    snd_output_printf(out, "Sonotrap: the monitor of the default output (%s, %u Hz, %u channels)\n", pcm->output.sink,
                      pcm->output.rate, pcm->output.channels);
    snd_output_printf(out, "Its setup is:\n");
    snd_pcm_dump_setup(io->pcm, out);
}

static const snd_pcm_ioplug_callback_t callbacks = {
    .start = sonotrap_start,
    .stop = sonotrap_stop,
    .pointer = sonotrap_pointer,
    .transfer = sonotrap_transfer,
    .close = sonotrap_close,
    .sw_params = sonotrap_sw_params,
    .prepare = sonotrap_prepare,
    .poll_revents = sonotrap_poll_revents,
    .dump = sonotrap_dump,
};

static int set_constraints(sonotrap_pcm* pcm)
{
    static const unsigned int access[] = {SND_PCM_ACCESS_RW_INTERLEAVED};
    static const unsigned int formats[] = {SND_PCM_FORMAT_S16_LE, SND_PCM_FORMAT_U8, SND_PCM_FORMAT_S32_LE,
                                           SND_PCM_FORMAT_FLOAT_LE};
    /* Mono, stereo and the output's own layout; the server mixes between them. */
    unsigned int channels[] = {1, 2, pcm->output.channels};
    /* The output's layout is a third choice only when it is not mono or stereo already. */
    const unsigned int channel_count = COUNT_OF(channels) - (pcm->output.channels > 2 ? 0 : 1);
    snd_pcm_ioplug_t* io = &pcm->io;
    int error;
    if ((error = snd_pcm_ioplug_set_param_list(io, SND_PCM_IOPLUG_HW_ACCESS, COUNT_OF(access), access)) < 0 ||
        (error = snd_pcm_ioplug_set_param_list(io, SND_PCM_IOPLUG_HW_FORMAT, COUNT_OF(formats), formats)) < 0 ||
        (error = snd_pcm_ioplug_set_param_list(io, SND_PCM_IOPLUG_HW_CHANNELS, channel_count, channels)) < 0 ||
        /* Any common rate: the server resamples the monitor to the rate announced here, in
         * step with the output's own clock, so what is announced is what is delivered. */
        (error = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_RATE, MIN_RATE, MAX_RATE)) < 0 ||
        (error = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_PERIOD_BYTES, MIN_PERIOD_BYTES,
                                                 SONOTRAP_SAMPLE_BYTES)) < 0 ||
        (error = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_BUFFER_BYTES, MIN_BUFFER_BYTES,
                                                 SONOTRAP_CAPTURE_BYTES)) < 0 ||
        (error = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_PERIODS, 2, 1024)) < 0)
        return error;
    return 0;
}

int sonotrap_pcm_open(snd_pcm_t** pcmp, const char* name, snd_pcm_stream_t stream, int mode)
{
    if (stream != SND_PCM_STREAM_CAPTURE) {
        SNDERR("sonotrap records only; it has no playback side");
        return -EINVAL;
    }
    sonotrap_pcm* pcm = calloc(1, sizeof *pcm);
    if (!pcm)
        return -ENOMEM;
    pcm->event_fd = -1;
    char reason[200] = "";
    int error = sonotrap_default_output(&pcm->output, QUERY_TIMEOUT_MS, reason, sizeof reason);
    if (error < 0) {
        SNDERR("sonotrap: %s", reason);
        goto fail;
    }
    pcm->event_fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (pcm->event_fd < 0) {
        error = -errno;
        goto fail;
    }
    if (sonotrap_buffer_init(&pcm->buffer) < 0 || !(pcm->capture = sonotrap_capture_new(&pcm->buffer, pcm->event_fd))) {
        error = -ENOMEM;
        goto fail;
    }
    pcm->frame_bytes = 4;
    pcm->avail_min = 1;
    pcm->io.version = SND_PCM_IOPLUG_VERSION;
    pcm->io.name = "Sonotrap";
    pcm->io.flags = SND_PCM_IOPLUG_FLAG_BOUNDARY_WA;
    pcm->io.poll_fd = pcm->event_fd;
    pcm->io.poll_events = POLLIN;
    pcm->io.mmap_rw = 0;
    pcm->io.callback = &callbacks;
    pcm->io.private_data = pcm;
    error = snd_pcm_ioplug_create(&pcm->io, name, stream, mode);
    if (error < 0)
        goto fail;
    error = set_constraints(pcm);
    if (error < 0) {
        /* The PCM owns pcm now: deleting it closes it, which releases pcm. */
        snd_pcm_ioplug_delete(&pcm->io);
        return error;
    }
    *pcmp = pcm->io.pcm;
    return 0;

fail:
    release(pcm);
    return error;
}
