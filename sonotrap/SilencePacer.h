#pragma once

/* Keeps a recording running while the sound server sends nothing (a suspended output, a lost
 * connection): once no audio has come for longer than the stall limit, the capture thread
 * fills the gap with zeros at the real-time rate. While audio flows the server's clock rules
 * alone, so the pacer adds no drift of its own.
 *
 * A gap may also be a stall: the server was late, not quiet, and then sends the audio of the
 * whole gap at once. That audio stands for time the silence already stood for, so after a fill
 * the pacer counts what arrives in the next second against the wall time since the gap began
 * and has the capture drop what is more than real time allows, never more than the silence it
 * added. The backlog may come in many small pieces, the first of which fit real time: once
 * backlog is found, what those first pieces kept beyond real time is paid back too, so that no
 * stall leaves the recording ahead of the clock by up to the jitter. After a
 * real pause the audio that follows is new and arrives at the real-time rate: nothing is
 * dropped. A sound server that starts a stream late does the same as one that stalls: its
 * first audio covers the time since the stream was asked for. */

#include <stdint.h>

#define SONOTRAP_STALL_US 250000u   /* longer than any fragment the server sends while it runs */
#define SONOTRAP_JITTER_US 40000u   /* how early audio may come after a gap and still be new */
#define SONOTRAP_SETTLE_US 1000000u /* how long after a gap late audio may still arrive */

typedef struct sonotrap_pacer
{
    unsigned rate;      /* frames per second */
    uint64_t anchor_us; /* when the last audio came (or the capture started) */
    uint64_t filled;    /* frames of silence added since the anchor */

    /* For a while after a fill, until the silence is paid back. */
    int settling;
    uint64_t gap_start_us; /* the anchor when the gap began */
    uint64_t resumed_us;   /* when audio came again */
    uint64_t since_gap;    /* frames kept (silence and audio) since then */
    uint64_t credit;       /* silence frames that backlog may still take back */
    int backlog;           /* backlog was found: real time now holds without the jitter */
} sonotrap_pacer;

void sonotrap_pacer_start(sonotrap_pacer* pacer, unsigned rate, uint64_t now_us);

/* frames of audio arrived at now_us: the gap, if any, is over. Returns how many frames at the
 * start of that audio repeat time already filled with silence, to be dropped (at most frames). */
uint64_t sonotrap_pacer_audio(sonotrap_pacer* pacer, uint64_t now_us, uint64_t frames);

/* Frames of silence to add at now_us (0 while audio flows); counts them as added. */
uint64_t sonotrap_pacer_due(sonotrap_pacer* pacer, uint64_t now_us);

/* Microseconds until the pacer may next have silence due, for the capture thread's wait. */
uint64_t sonotrap_pacer_wait_us(const sonotrap_pacer* pacer, uint64_t now_us, uint64_t tick_us);
