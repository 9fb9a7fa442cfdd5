#include "SilencePacer.h"

void sonotrap_pacer_start(sonotrap_pacer* pacer, unsigned rate, uint64_t now_us)
{
    pacer->rate = rate;
    pacer->anchor_us = now_us;
    pacer->filled = 0;
}

void sonotrap_pacer_audio(sonotrap_pacer* pacer, uint64_t now_us)
{
    pacer->anchor_us = now_us;
    pacer->filled = 0;
}

uint64_t sonotrap_pacer_due(sonotrap_pacer* pacer, uint64_t now_us)
{
    if (now_us <= pacer->anchor_us || now_us - pacer->anchor_us <= SONOTRAP_STALL_US)
        return 0;
    /* The silence covers the whole gap from the anchor, so the first fill catches up. */
    const uint64_t elapsed = now_us - pacer->anchor_us;
    const uint64_t owed = elapsed / 1000000u * pacer->rate + elapsed % 1000000u * pacer->rate / 1000000u;
    if (owed <= pacer->filled)
        return 0;
    const uint64_t due = owed - pacer->filled;
    pacer->filled = owed;
    return due;
}
