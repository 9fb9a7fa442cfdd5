#include "CaptureBuffer.h"

#include <stdlib.h>
#include <string.h>

int sonotrap_buffer_init(sonotrap_buffer* buffer)
{
    memset(buffer, 0, sizeof *buffer);
    buffer->data = calloc(1, SONOTRAP_CAPTURE_BYTES);
    if (!buffer->data)
        return -1;
    buffer->frame_bytes = 1;
    buffer->limit = SONOTRAP_SAMPLE_BYTES;
    buffer->wake_bytes = 1;
    pthread_mutex_init(&buffer->sample_lock, NULL);
    pthread_mutex_init(&buffer->buffer_lock, NULL);
    return 0;
}

void sonotrap_buffer_destroy(sonotrap_buffer* buffer)
{
    if (!buffer->data)
        return;
    pthread_mutex_destroy(&buffer->sample_lock);
    pthread_mutex_destroy(&buffer->buffer_lock);
    free(buffer->data);
    buffer->data = NULL;
}

size_t sonotrap_buffer_limit_for(size_t buffer_bytes, size_t frame_bytes)
{
    if (frame_bytes == 0)
        return 0;
    size_t limit = buffer_bytes < SONOTRAP_CAPTURE_BYTES ? buffer_bytes : SONOTRAP_CAPTURE_BYTES;
    return limit - limit % frame_bytes;
}

void sonotrap_buffer_reset(sonotrap_buffer* buffer, size_t frame_bytes, size_t limit)
{
    pthread_mutex_lock(&buffer->sample_lock);
    pthread_mutex_lock(&buffer->buffer_lock);
    buffer->frame_bytes = frame_bytes ? frame_bytes : 1;
    buffer->limit = sonotrap_buffer_limit_for(limit, buffer->frame_bytes);
    buffer->read_pos = 0;
    buffer->level = 0;
    buffer->pending_discontinuity = 1;
    buffer->dropped_bytes = 0;
    pthread_mutex_unlock(&buffer->buffer_lock);
    pthread_mutex_unlock(&buffer->sample_lock);
}

size_t sonotrap_buffer_append(sonotrap_buffer* buffer, const void* bytes, size_t length, int discontinuity)
{
    pthread_mutex_lock(&buffer->sample_lock);
    pthread_mutex_lock(&buffer->buffer_lock);
    const size_t room = buffer->limit - buffer->level;
    size_t kept = length < room ? length : room;
    kept -= kept % buffer->frame_bytes;
    /* The free space runs from the end of the waiting bytes, in at most two pieces. */
    size_t at = buffer->limit ? (buffer->read_pos + buffer->level) % buffer->limit : 0;
    const unsigned char* from = bytes;
    size_t left = kept;
    while (left > 0) {
        const size_t piece = left < buffer->limit - at ? left : buffer->limit - at;
        if (from) {
            memcpy(buffer->data + at, from, piece);
            from += piece;
        } else {
            memset(buffer->data + at, 0, piece);
        }
        left -= piece;
        at = 0;
    }
    buffer->level += kept;
    pthread_mutex_unlock(&buffer->buffer_lock);
    if (kept < length) {
        buffer->dropped_bytes += length - kept;
        discontinuity = 1;
    }
    if (discontinuity)
        buffer->pending_discontinuity = 1;
    pthread_mutex_unlock(&buffer->sample_lock);
    return kept;
}

size_t sonotrap_buffer_take(sonotrap_buffer* buffer, void* destination, size_t max_bytes, int* gap)
{
    pthread_mutex_lock(&buffer->buffer_lock);
    size_t taken = buffer->level < max_bytes ? buffer->level : max_bytes;
    taken -= taken % buffer->frame_bytes;
    unsigned char* to = destination;
    size_t left = taken;
    while (left > 0) {
        const size_t piece = left < buffer->limit - buffer->read_pos ? left : buffer->limit - buffer->read_pos;
        memcpy(to, buffer->data + buffer->read_pos, piece);
        to += piece;
        left -= piece;
        buffer->read_pos = (buffer->read_pos + piece) % buffer->limit;
    }
    buffer->level -= taken;
    if (buffer->level == 0)
        buffer->read_pos = 0;
    pthread_mutex_unlock(&buffer->buffer_lock);

    pthread_mutex_lock(&buffer->sample_lock);
    if (gap)
        *gap = taken > 0 && buffer->pending_discontinuity;
    if (taken > 0)
        buffer->pending_discontinuity = 0;
    pthread_mutex_unlock(&buffer->sample_lock);
    return taken;
}

size_t sonotrap_buffer_level(sonotrap_buffer* buffer)
{
    pthread_mutex_lock(&buffer->buffer_lock);
    size_t level = buffer->level;
    pthread_mutex_unlock(&buffer->buffer_lock);
    return level;
}

void sonotrap_buffer_set_wake(sonotrap_buffer* buffer, size_t wake_bytes)
{
    pthread_mutex_lock(&buffer->buffer_lock);
    buffer->wake_bytes = wake_bytes ? wake_bytes : 1;
    pthread_mutex_unlock(&buffer->buffer_lock);
}

int sonotrap_buffer_ready(sonotrap_buffer* buffer)
{
    pthread_mutex_lock(&buffer->buffer_lock);
    const size_t wake = buffer->wake_bytes < buffer->limit ? buffer->wake_bytes : buffer->limit;
    const int ready = buffer->level > 0 && buffer->level >= wake;
    pthread_mutex_unlock(&buffer->buffer_lock);
    return ready;
}
