#pragma once

#include <alsa/asoundlib.h>

/* Opens the capture PCM over the monitor of the default output. Only capture is offered. */
int sonotrap_pcm_open(snd_pcm_t** pcmp, const char* name, snd_pcm_stream_t stream, int mode);
