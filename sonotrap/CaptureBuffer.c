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
    buffer->write_pos = 0;
    buffer->pending_discontinuity = 1;
    buffer->dropped_bytes = 0;
    pthread_mutex_unlock(&buffer->buffer_lock);
    pthread_mutex_unlock(&buffer->sample_lock);
}

size_t sonotrap_buffer_append(sonotrap_buffer* buffer, const void* bytes, size_t length, int discontinuity)
{
    pthread_mutex_lock(&buffer->sample_lock);
    pthread_mutex_lock(&buffer->buffer_lock);
    if (buffer->write_pos > buffer->limit)
        buffer->write_pos = 0;
    size_t room = buffer->limit - buffer->write_pos;
    size_t kept = length < room ? length : room;
    kept -= kept % buffer->frame_bytes;
    if (bytes)
        memcpy(buffer->data + buffer->write_pos, bytes, kept);
    else
        memset(buffer->data + buffer->write_pos, 0, kept);
    buffer->write_pos += kept;
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
    size_t taken = buffer->write_pos < max_bytes ? buffer->write_pos : max_bytes;
    taken -= taken % buffer->frame_bytes;
    if (taken > 0) {
        memcpy(destination, buffer->data, taken);
        memmove(buffer->data, buffer->data + taken, buffer->write_pos - taken);
        buffer->write_pos -= taken;
    }
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
    size_t level = buffer->write_pos;
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
    const int ready = buffer->write_pos > 0 && buffer->write_pos >= wake;
    pthread_mutex_unlock(&buffer->buffer_lock);
    return ready;
}
