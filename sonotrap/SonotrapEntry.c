/* The one symbol ALSA looks up in the module (with its version tag); everything else in the
 * module is hidden. */
#include "SonotrapPcm.h"

#include <alsa/pcm_external.h>
#include <string.h>

#pragma GCC visibility push(default)

SND_PCM_PLUGIN_DEFINE_FUNC(sonotrap)
{
    snd_config_iterator_t i, next;
    (void)root;
    snd_config_for_each(i, next, conf)
    {
        snd_config_t* entry = snd_config_iterator_entry(i);
        const char* id;
        if (snd_config_get_id(entry, &id) < 0)
            continue;
        if (strcmp(id, "comment") == 0 || strcmp(id, "type") == 0 || strcmp(id, "hint") == 0)
            continue;
        SNDERR("sonotrap: unknown field %s", id);
        return -EINVAL;
    }
    return sonotrap_pcm_open(pcmp, name, stream, mode);
}

SND_PCM_PLUGIN_SYMBOL(sonotrap)

#pragma GCC visibility pop
