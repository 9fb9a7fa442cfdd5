#include "SilencePacer.h"

static uint64_t frames_in(uint64_t us, unsigned rate)
{
    return us / 1000000u * rate + us % 1000000u * rate / 1000000u;
}

void sonotrap_pacer_start(sonotrap_pacer* pacer, unsigned rate, uint64_t now_us)
{
    pacer->rate = rate;
    pacer->anchor_us = now_us;
    pacer->filled = 0;
    pacer->settling = 0;
    pacer->gap_start_us = now_us;
    pacer->resumed_us = now_us;
    pacer->since_gap = 0;
    pacer->credit = 0;
    pacer->backlog = 0;
}

uint64_t sonotrap_pacer_audio(sonotrap_pacer* pacer, uint64_t now_us, uint64_t frames)
{
    if (pacer->filled > 0) {
        pacer->settling = 1;
        pacer->gap_start_us = pacer->anchor_us;
        pacer->resumed_us = now_us;
        pacer->since_gap = pacer->filled;
        pacer->credit = pacer->filled;
        pacer->backlog = 0;
    } else if (pacer->settling && now_us - pacer->resumed_us > SONOTRAP_SETTLE_US) {
        pacer->settling = 0;
    }
    uint64_t drop = 0;
    if (pacer->settling) {
        const uint64_t elapsed = now_us > pacer->gap_start_us ? now_us - pacer->gap_start_us : 0;
        const uint64_t total = pacer->since_gap + frames;
        /* Beyond the jitter, the recording is brought back to real time itself. From then on
         * the audio is known to be backlog, and real time holds without the jitter: the first
         * pieces kept within it would otherwise stay ahead of the clock for good (up to the
         * jitter per stall, which a loaded machine's many stalls add up to a drift). */
        const uint64_t allowed = pacer->backlog ? 0 : SONOTRAP_JITTER_US;
        if (total > frames_in(elapsed + allowed, pacer->rate)) {
            pacer->backlog = 1;
            drop = total - frames_in(elapsed, pacer->rate);
            if (drop > frames)
                drop = frames;
            if (drop > pacer->credit)
                drop = pacer->credit;
        }
        pacer->credit -= drop;
        pacer->since_gap += frames - drop;
        if (pacer->credit == 0)
            pacer->settling = 0;
    }
    pacer->anchor_us = now_us;
    pacer->filled = 0;
    return drop;
}

uint64_t sonotrap_pacer_due(sonotrap_pacer* pacer, uint64_t now_us)
{
    if (now_us <= pacer->anchor_us || now_us - pacer->anchor_us <= SONOTRAP_STALL_US)
        return 0;
    /* The silence covers the whole gap from the anchor, so the first fill catches up. */
    const uint64_t owed = frames_in(now_us - pacer->anchor_us, pacer->rate);
    if (owed <= pacer->filled)
        return 0;
    const uint64_t due = owed - pacer->filled;
    pacer->filled = owed;
    return due;
}

uint64_t sonotrap_pacer_wait_us(const sonotrap_pacer* pacer, uint64_t now_us, uint64_t tick_us)
{
    /* While audio flows nothing is due before the stall limit has passed; in a gap, a tick. */
    const uint64_t due_at = pacer->anchor_us + SONOTRAP_STALL_US + 1;
    if (pacer->filled > 0 || now_us >= due_at)
        return tick_us;
    const uint64_t wait = due_at - now_us;
    return wait > tick_us ? wait : tick_us;
}
