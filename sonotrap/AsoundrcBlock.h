#pragma once

/* The block sonotrap-register keeps in an ALSA configuration file: the definition of
 * pcm.sonotrap between two marker comments. Installing replaces an existing block where it
 * stands (so a second install changes nothing) or appends one; uninstalling removes exactly
 * what installing added, so every other byte of the file stays as it was. */

#include <stddef.h>

typedef enum sonotrap_asoundrc_result
{
    SONOTRAP_ASOUNDRC_OK,
    SONOTRAP_ASOUNDRC_DAMAGED, /* a begin marker without its end: the file is left alone */
    SONOTRAP_ASOUNDRC_NO_MEMORY,
} sonotrap_asoundrc_result;

typedef struct sonotrap_text
{
    char* data; /* malloc'd, NUL-terminated */
    size_t length;
} sonotrap_text;

/* The file text with the block installed. */
sonotrap_asoundrc_result sonotrap_asoundrc_install(const char* text, size_t length, sonotrap_text* result);

/* The file text without the block; *found tells whether there was one. */
sonotrap_asoundrc_result
sonotrap_asoundrc_uninstall(const char* text, size_t length, sonotrap_text* result, int* found);
