#include "PulseMonitor.h"

#include "SilencePacer.h"

#include <errno.h>
#include <pthread.h>
#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/mainloop.h>
#include <pulse/stream.h>
#include <pulse/subscribe.h>
#include <stdatomic.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#define LOOP_WAKE_US 20000   /* how often the thread fills silence in a gap */
#define FRAGMENT_US 20000    /* how much audio the server sends at once */
#define RECONNECT_US 1000000 /* pause before connecting again after the server went away */

static uint64_t now_us(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (uint64_t)ts.tv_sec * 1000000u + (uint64_t)ts.tv_nsec / 1000u;
}

/* ---- the default output, asked once ------------------------------------------------------ */

typedef struct query
{
    sonotrap_output* output;
    int done;   /* 1 ok, -1 failed */
    int server; /* server info answered */
    char error[160];
} query;

static void query_sink(pa_context* context, const pa_sink_info* info, int eol, void* userdata)
{
    query* q = userdata;
    (void)context;
    if (eol < 0) {
        snprintf(q->error, sizeof q->error, "the default output cannot be read");
        q->done = -1;
    } else if (info) {
        q->output->rate = info->sample_spec.rate;
        q->output->channels = info->sample_spec.channels;
        q->done = 1;
    } else if (q->done == 0) {
        snprintf(q->error, sizeof q->error, "the default output is gone");
        q->done = -1;
    }
}

static void query_server(pa_context* context, const pa_server_info* info, void* userdata)
{
    query* q = userdata;
    q->server = 1;
    if (!info || !info->default_sink_name || !*info->default_sink_name) {
        snprintf(q->error, sizeof q->error, "the sound server has no default output");
        q->done = -1;
        return;
    }
    snprintf(q->output->sink, sizeof q->output->sink, "%s", info->default_sink_name);
    pa_operation* op = pa_context_get_sink_info_by_name(context, q->output->sink, query_sink, q);
    if (op)
        pa_operation_unref(op);
    else
        q->done = -1;
}

int sonotrap_default_output(sonotrap_output* output, int timeout_ms, char* error, size_t error_size)
{
    memset(output, 0, sizeof *output);
    query q = {output, 0, 0, ""};
    pa_mainloop* loop = pa_mainloop_new();
    if (!loop)
        return -ENOMEM;
    pa_context* context = pa_context_new(pa_mainloop_get_api(loop), "Sonotrap");
    int asked = 0;
    const uint64_t deadline = now_us() + (uint64_t)timeout_ms * 1000u;
    if (!context || pa_context_connect(context, NULL, PA_CONTEXT_NOAUTOSPAWN, NULL) < 0) {
        snprintf(q.error, sizeof q.error, "no sound server: %s",
                 context ? pa_strerror(pa_context_errno(context)) : "out of memory");
        q.done = -1;
    }
    while (q.done == 0) {
        const pa_context_state_t state = pa_context_get_state(context);
        if (!PA_CONTEXT_IS_GOOD(state)) {
            snprintf(q.error, sizeof q.error, "no sound server: %s", pa_strerror(pa_context_errno(context)));
            q.done = -1;
            break;
        }
        if (state == PA_CONTEXT_READY && !asked) {
            asked = 1;
            pa_operation* op = pa_context_get_server_info(context, query_server, &q);
            if (op)
                pa_operation_unref(op);
        }
        const uint64_t now = now_us();
        if (now >= deadline) {
            snprintf(q.error, sizeof q.error, "the sound server does not answer");
            q.done = -1;
            break;
        }
        if (pa_mainloop_prepare(loop, (int)(deadline - now)) < 0 || pa_mainloop_poll(loop) < 0 ||
            pa_mainloop_dispatch(loop) < 0) {
            q.done = -1;
        }
    }
    if (context) {
        pa_context_disconnect(context);
        pa_context_unref(context);
    }
    pa_mainloop_free(loop);
    if (q.done < 0) {
        snprintf(error, error_size, "%s", q.error[0] ? q.error : "the sound server failed");
        return -ECONNREFUSED;
    }
    return 0;
}

/* ---- the capture thread ------------------------------------------------------------------- */

struct sonotrap_capture
{
    sonotrap_buffer* buffer;
    int event_fd;
    pa_sample_spec spec;
    atomic_int stop_flag;
    int thread_running;
    pthread_t thread;

    /* Used on the capture thread only. */
    pa_mainloop* loop;
    pa_context* context;
    pa_stream* stream;
    int context_failed;
    uint64_t reconnect_at;
    char sink[256];   /* the output whose monitor is recorded */
    char wanted[256]; /* the default output last reported */
    sonotrap_pacer pacer;
    /* Counters for SONOTRAP_DEBUG. */
    uint64_t audio_bytes, hole_bytes, dropped_bytes, silence_frames, fills, started_us, last_read_us, max_read_gap_us;
};

static void signal_reader(sonotrap_capture* capture)
{
    /* Woken for less than it asked for, the reader would only go back to sleep. */
    if (!sonotrap_buffer_ready(capture->buffer))
        return;
    const uint64_t one = 1;
    ssize_t written = write(capture->event_fd, &one, sizeof one);
    (void)written; /* a full counter already wakes the reader */
}

static void on_read(pa_stream* stream, size_t length, void* userdata)
{
    sonotrap_capture* capture = userdata;
    (void)length;
    const size_t frame_bytes = pa_frame_size(&capture->spec);
    int got = 0;
    while (pa_stream_readable_size(stream) > 0) {
        const void* data = NULL;
        size_t bytes = 0;
        if (pa_stream_peek(stream, &data, &bytes) < 0 || bytes == 0)
            break;
        const uint64_t now = now_us();
        if (capture->last_read_us && now - capture->last_read_us > capture->max_read_gap_us)
            capture->max_read_gap_us = now - capture->last_read_us;
        capture->last_read_us = now;
        /* Audio the server held back during a stall repeats time the silence already filled. */
        const size_t skip = (size_t)sonotrap_pacer_audio(&capture->pacer, now, bytes / frame_bytes) * frame_bytes;
        if (bytes > skip) {
            /* A hole in the server's stream is silence, and a gap; so is audio left out. */
            sonotrap_buffer_append(capture->buffer, data ? (const char*)data + skip : NULL, bytes - skip,
                                   data == NULL || skip > 0);
        }
        if (data)
            capture->audio_bytes += bytes;
        else
            capture->hole_bytes += bytes;
        capture->dropped_bytes += skip;
        pa_stream_drop(stream);
        got = 1;
    }
    if (got)
        signal_reader(capture);
}

static void on_stream_state(pa_stream* stream, void* userdata)
{
    sonotrap_capture* capture = userdata;
    const pa_stream_state_t state = pa_stream_get_state(stream);
    if (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED)
        capture->context_failed = 1;
}

static void record_monitor_of(sonotrap_capture* capture, const pa_sink_info* info)
{
    if (!info->monitor_source_name)
        return;
    snprintf(capture->sink, sizeof capture->sink, "%s", info->name);
    if (capture->stream) {
        /* The user switched the default output: the same stream moves to the new monitor,
         * and the server converts that monitor's format to the one announced to ALSA. */
        pa_operation* op = pa_context_move_source_output_by_name(capture->context, pa_stream_get_index(capture->stream),
                                                                 info->monitor_source_name, NULL, NULL);
        if (op)
            pa_operation_unref(op);
        return;
    }
    pa_channel_map map;
    pa_channel_map_init_extend(&map, capture->spec.channels, PA_CHANNEL_MAP_ALSA);
    capture->stream = pa_stream_new(capture->context, "Sonotrap", &capture->spec, &map);
    if (!capture->stream) {
        capture->context_failed = 1;
        return;
    }
    pa_stream_set_read_callback(capture->stream, on_read, capture);
    pa_stream_set_state_callback(capture->stream, on_stream_state, capture);
    pa_buffer_attr attributes;
    memset(&attributes, 0xff, sizeof attributes);
    attributes.fragsize = (uint32_t)pa_usec_to_bytes(FRAGMENT_US, &capture->spec);
    if (pa_stream_connect_record(capture->stream, info->monitor_source_name, &attributes, PA_STREAM_ADJUST_LATENCY) < 0)
        capture->context_failed = 1;
}

static void on_sink(pa_context* context, const pa_sink_info* info, int eol, void* userdata)
{
    (void)context;
    if (eol == 0 && info)
        record_monitor_of(userdata, info);
}

static void on_server(pa_context* context, const pa_server_info* info, void* userdata)
{
    sonotrap_capture* capture = userdata;
    if (!info || !info->default_sink_name)
        return;
    snprintf(capture->wanted, sizeof capture->wanted, "%s", info->default_sink_name);
    if (capture->stream && strcmp(capture->wanted, capture->sink) == 0)
        return;
    pa_operation* op = pa_context_get_sink_info_by_name(context, capture->wanted, on_sink, capture);
    if (op)
        pa_operation_unref(op);
}

static void ask_default_output(sonotrap_capture* capture)
{
    pa_operation* op = pa_context_get_server_info(capture->context, on_server, capture);
    if (op)
        pa_operation_unref(op);
}

static void on_event(pa_context* context, pa_subscription_event_type_t type, uint32_t index, void* userdata)
{
    (void)context;
    (void)index;
    if ((type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) == PA_SUBSCRIPTION_EVENT_SERVER)
        ask_default_output(userdata);
}

static void on_context_state(pa_context* context, void* userdata)
{
    sonotrap_capture* capture = userdata;
    const pa_context_state_t state = pa_context_get_state(context);
    if (state == PA_CONTEXT_READY) {
        pa_context_set_subscribe_callback(context, on_event, capture);
        pa_operation* op = pa_context_subscribe(context, PA_SUBSCRIPTION_MASK_SERVER, NULL, NULL);
        if (op)
            pa_operation_unref(op);
        ask_default_output(capture);
    } else if (!PA_CONTEXT_IS_GOOD(state)) {
        capture->context_failed = 1;
    }
}

static void disconnect(sonotrap_capture* capture)
{
    if (capture->stream) {
        pa_stream_set_read_callback(capture->stream, NULL, NULL);
        pa_stream_set_state_callback(capture->stream, NULL, NULL);
        pa_stream_disconnect(capture->stream);
        pa_stream_unref(capture->stream);
        capture->stream = NULL;
    }
    if (capture->context) {
        pa_context_set_state_callback(capture->context, NULL, NULL);
        pa_context_set_subscribe_callback(capture->context, NULL, NULL);
        pa_context_disconnect(capture->context);
        pa_context_unref(capture->context);
        capture->context = NULL;
    }
    capture->sink[0] = '\0';
    capture->context_failed = 0;
}

static void connect_server(sonotrap_capture* capture)
{
    capture->context = pa_context_new(pa_mainloop_get_api(capture->loop), "Sonotrap");
    if (!capture->context) {
        capture->context_failed = 1;
        return;
    }
    pa_context_set_state_callback(capture->context, on_context_state, capture);
    if (pa_context_connect(capture->context, NULL, PA_CONTEXT_NOAUTOSPAWN, NULL) < 0)
        capture->context_failed = 1;
}

static void* capture_thread(void* argument)
{
    sonotrap_capture* capture = argument;
    const int debug = getenv("SONOTRAP_DEBUG") != NULL;
    capture->audio_bytes = capture->hole_bytes = capture->dropped_bytes = capture->silence_frames = capture->fills = 0;
    capture->last_read_us = capture->max_read_gap_us = 0;
    capture->started_us = now_us();
    sonotrap_pacer_start(&capture->pacer, capture->spec.rate, capture->started_us);
    connect_server(capture);
    while (!atomic_load(&capture->stop_flag)) {
        const uint64_t wait = sonotrap_pacer_wait_us(&capture->pacer, now_us(), LOOP_WAKE_US);
        if (pa_mainloop_prepare(capture->loop, (int)wait) < 0 || pa_mainloop_poll(capture->loop) < 0 ||
            pa_mainloop_dispatch(capture->loop) < 0)
            break;
        const uint64_t now = now_us();
        if (capture->context_failed) {
            disconnect(capture);
            capture->reconnect_at = now + RECONNECT_US;
        }
        if (!capture->context && now >= capture->reconnect_at)
            connect_server(capture);
        const uint64_t frames = sonotrap_pacer_due(&capture->pacer, now);
        if (frames > 0 && debug && capture->pacer.filled == frames)
            fprintf(stderr, "sonotrap: no audio from the server; filling silence at %.3f s\n",
                    (double)(now - capture->started_us) / 1e6);
        if (frames > 0) {
            capture->silence_frames += frames;
            capture->fills += capture->pacer.filled == frames;
            const size_t frame_bytes = pa_frame_size(&capture->spec);
            sonotrap_buffer_append(capture->buffer, NULL, (size_t)frames * frame_bytes, 0);
            signal_reader(capture);
        }
    }
    if (debug) {
        const size_t frame_bytes = pa_frame_size(&capture->spec);
        fprintf(stderr,
                "sonotrap: %.3f s: audio %.3f s, holes %.3f s, silence %.3f s in %llu gaps, repeated audio "
                "left out %.3f s, longest wait %.3f s\n",
                (double)(now_us() - capture->started_us) / 1e6,
                (double)(capture->audio_bytes / frame_bytes) / capture->spec.rate,
                (double)(capture->hole_bytes / frame_bytes) / capture->spec.rate,
                (double)capture->silence_frames / capture->spec.rate, (unsigned long long)capture->fills,
                (double)(capture->dropped_bytes / frame_bytes) / capture->spec.rate,
                (double)capture->max_read_gap_us / 1e6);
    }
    disconnect(capture);
    return NULL;
}

sonotrap_capture* sonotrap_capture_new(sonotrap_buffer* buffer, int event_fd)
{
    sonotrap_capture* capture = calloc(1, sizeof *capture);
    if (!capture)
        return NULL;
    capture->buffer = buffer;
    capture->event_fd = event_fd;
    atomic_init(&capture->stop_flag, 1);
    return capture;
}

void sonotrap_capture_free(sonotrap_capture* capture)
{
    if (!capture)
        return;
    sonotrap_capture_stop(capture);
    free(capture);
}

int sonotrap_capture_start(sonotrap_capture* capture, const pa_sample_spec* spec)
{
    sonotrap_capture_stop(capture);
    capture->spec = *spec;
    capture->loop = pa_mainloop_new();
    if (!capture->loop)
        return -ENOMEM;
    atomic_store(&capture->stop_flag, 0);
    const int error = pthread_create(&capture->thread, NULL, capture_thread, capture);
    if (error != 0) {
        atomic_store(&capture->stop_flag, 1);
        pa_mainloop_free(capture->loop);
        capture->loop = NULL;
        return -error;
    }
    capture->thread_running = 1;
    return 0;
}

void sonotrap_capture_stop(sonotrap_capture* capture)
{
    atomic_store(&capture->stop_flag, 1);
    if (capture->thread_running) {
        pa_mainloop_wakeup(capture->loop);
        pthread_join(capture->thread, NULL);
        capture->thread_running = 0;
    }
    if (capture->loop) {
        pa_mainloop_free(capture->loop);
        capture->loop = NULL;
    }
}
