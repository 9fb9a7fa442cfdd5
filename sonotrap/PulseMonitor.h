#pragma once

/* The sound server side: which output is the default and what its monitor delivers, and the
 * capture thread that records that monitor into a sonotrap_buffer. The thread follows the
 * default output when the user switches it, reconnects when the server goes away, and fills
 * silence in real time while nothing arrives (see SilencePacer.h). */

#include "CaptureBuffer.h"

#include <pulse/sample.h>
#include <stddef.h>

typedef struct sonotrap_output
{
    unsigned rate;
    unsigned channels;
    char sink[256];
} sonotrap_output;

/* Asks the server for the default output and its format; waits at most timeout_ms. Returns 0,
 * or a negative errno with a reason in error. */
int sonotrap_default_output(sonotrap_output* output, int timeout_ms, char* error, size_t error_size);

typedef struct sonotrap_capture sonotrap_capture;

/* A capture that appends to buffer and writes to event_fd (an eventfd) whenever it did. */
sonotrap_capture* sonotrap_capture_new(sonotrap_buffer* buffer, int event_fd);
void sonotrap_capture_free(sonotrap_capture* capture);

/* Clears the stop flag and starts the capture thread recording in spec. Returns 0 or -errno. */
int sonotrap_capture_start(sonotrap_capture* capture, const pa_sample_spec* spec);

/* Sets the stop flag and waits for the capture thread to end. Safe to call when stopped. */
void sonotrap_capture_stop(sonotrap_capture* capture);
