#pragma once

/* Keeps a recording running while the sound server sends nothing (a suspended output, a lost
 * connection): once no audio has come for longer than the stall limit, the capture thread
 * fills the gap with zeros at the real-time rate. While audio flows the server's clock rules
 * alone, so the pacer adds no drift of its own. */

#include <stdint.h>

#define SONOTRAP_STALL_US 250000u /* longer than any fragment the server sends while it runs */

typedef struct sonotrap_pacer
{
    unsigned rate;      /* frames per second */
    uint64_t anchor_us; /* when the last audio came (or the capture started) */
    uint64_t filled;    /* frames of silence added since the anchor */
} sonotrap_pacer;

void sonotrap_pacer_start(sonotrap_pacer* pacer, unsigned rate, uint64_t now_us);

/* Audio arrived at now_us: the gap, if any, is over. */
void sonotrap_pacer_audio(sonotrap_pacer* pacer, uint64_t now_us);

/* Frames of silence to add at now_us (0 while audio flows); counts them as added. */
uint64_t sonotrap_pacer_due(sonotrap_pacer* pacer, uint64_t now_us);
