#pragma once

/* The bytes captured from the sound server and not yet read by the ALSA program: a ring of
 * `limit` bytes at the start of data. The capture thread appends behind the waiting bytes, the
 * reader takes from their front, and neither moves the bytes that stay. Appends beyond the
 * limit are dropped (nothing is overwritten), so a reader that falls behind loses the newest
 * audio, never the stream. */

#include <pthread.h>
#include <stddef.h>
#include <stdint.h>

#define SONOTRAP_CAPTURE_BYTES (1024u * 1024u) /* 1 MiB */
#define SONOTRAP_SAMPLE_BYTES 16384u           /* the largest ALSA period offered */

typedef struct sonotrap_buffer
{
    unsigned char* data;       /* SONOTRAP_CAPTURE_BYTES */
    size_t read_pos;           /* where the waiting bytes start, below limit */
    size_t level;              /* bytes waiting, from read_pos on, wrapping at limit */
    size_t limit;              /* the ring's size and the most bytes held: the ALSA buffer, never
                                * above 1 MiB, in whole frames */
    size_t frame_bytes;        /* bytes per frame of the negotiated format */
    int pending_discontinuity; /* the next read follows a gap (a hole or dropped bytes) */
    uint64_t dropped_bytes;    /* bytes lost to the limit since the last reset */
    size_t wake_bytes;         /* the level at which the reader wants to be woken (its avail_min) */
    /* sample_lock guards pending_discontinuity and the counters and is held by the capture
     * thread around a whole append; buffer_lock guards data, read_pos and level. The capture thread
     * takes sample_lock, then buffer_lock; the reader takes buffer_lock alone and sample_lock
     * only after releasing it, so they are never taken in the other order. */
    pthread_mutex_t sample_lock;
    pthread_mutex_t buffer_lock;
} sonotrap_buffer;

int sonotrap_buffer_init(sonotrap_buffer* buffer);
void sonotrap_buffer_destroy(sonotrap_buffer* buffer);

/* The limit for an ALSA buffer of buffer_bytes: that buffer, at most 1 MiB, in whole frames. */
size_t sonotrap_buffer_limit_for(size_t buffer_bytes, size_t frame_bytes);

/* Sets the format and the limit and empties the buffer. */
void sonotrap_buffer_reset(sonotrap_buffer* buffer, size_t frame_bytes, size_t limit);

/* Appends length bytes (zeros when bytes is NULL) in whole frames, up to the limit; the rest
 * is dropped. A set discontinuity flag, or a drop, marks the next read. Returns the bytes kept. */
size_t sonotrap_buffer_append(sonotrap_buffer* buffer, const void* bytes, size_t length, int discontinuity);

/* Moves up to max_bytes (whole frames) from the front into destination; the rest stays where
 * it is. *gap (may be NULL) tells whether a gap preceded these bytes. Returns the bytes. */
size_t sonotrap_buffer_take(sonotrap_buffer* buffer, void* destination, size_t max_bytes, int* gap);

/* Bytes waiting to be read. */
size_t sonotrap_buffer_level(sonotrap_buffer* buffer);

/* The reader sleeps until wake_bytes are waiting (at most the limit: a full buffer always
 * wakes it); the capture thread asks sonotrap_buffer_ready() before it signals. */
void sonotrap_buffer_set_wake(sonotrap_buffer* buffer, size_t wake_bytes);
int sonotrap_buffer_ready(sonotrap_buffer* buffer);
