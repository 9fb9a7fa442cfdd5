#include "AsoundrcBlock.h"

#include <stdlib.h>
#include <string.h>

static const char begin_marker[] = "# >>> sonotrap-register: pcm.sonotrap >>>";
/* Written instead when the file did not end with a line end and one was added before the
 * block; uninstalling then removes that line end too. */
static const char begin_marker_joined[] = "# >>> sonotrap-register: pcm.sonotrap (line end added above) >>>";
static const char end_marker[] = "# <<< sonotrap-register: pcm.sonotrap <<<";

static const char body[] = "# The Sonotrap capture device (sound the computer plays); removed by\n"
                           "# sonotrap-register --uninstall.\n"
                           "pcm.sonotrap {\n"
                           "    type sonotrap\n"
                           "    hint {\n"
                           "        show on\n"
                           "        description \"Sonotrap\"\n"
                           "        IOID \"Input\"\n"
                           "    }\n"
                           "}\n";

/* Finds the line that equals marker at or after from; returns its start or -1. */
static long find_line(const char* text, size_t length, size_t from, const char* marker)
{
    const size_t size = strlen(marker);
    for (size_t at = from; at + size <= length; ++at) {
        if ((at == 0 || text[at - 1] == '\n') && memcmp(text + at, marker, size) == 0 &&
            (at + size == length || text[at + size] == '\n' || text[at + size] == '\r'))
            return (long)at;
    }
    return -1;
}

typedef struct span
{
    size_t start, end; /* [start, end) */
    int joined;
} span;

/* 1 when a block was found, 0 when none, -1 when it is damaged. */
static int find_block(const char* text, size_t length, span* block)
{
    long plain = find_line(text, length, 0, begin_marker);
    long joined = find_line(text, length, 0, begin_marker_joined);
    long begin = plain;
    block->joined = 0;
    if (joined >= 0 && (plain < 0 || joined < plain)) {
        begin = joined;
        block->joined = 1;
    }
    if (begin < 0)
        return 0;
    long end = find_line(text, length, (size_t)begin, end_marker);
    if (end < 0)
        return -1;
    size_t stop = (size_t)end + strlen(end_marker);
    while (stop < length && text[stop] != '\n')
        ++stop;
    if (stop < length)
        ++stop;
    block->start = (size_t)begin;
    block->end = stop;
    /* The added line end goes with the block only while nothing was written after it. */
    if (block->joined && block->end == length && block->start > 0 && text[block->start - 1] == '\n')
        --block->start;
    else
        block->joined = 0;
    return 1;
}

static sonotrap_asoundrc_result splice(const char* text,
                                       size_t length,
                                       size_t start,
                                       size_t end,
                                       const char* insert,
                                       size_t insert_length,
                                       sonotrap_text* result)
{
    result->length = start + insert_length + (length - end);
    result->data = malloc(result->length + 1);
    if (!result->data)
        return SONOTRAP_ASOUNDRC_NO_MEMORY;
    memcpy(result->data, text, start);
    memcpy(result->data + start, insert, insert_length);
    memcpy(result->data + start + insert_length, text + end, length - end);
    result->data[result->length] = '\0';
    return SONOTRAP_ASOUNDRC_OK;
}

sonotrap_asoundrc_result sonotrap_asoundrc_install(const char* text, size_t length, sonotrap_text* result)
{
    span block;
    const int found = find_block(text, length, &block);
    if (found < 0)
        return SONOTRAP_ASOUNDRC_DAMAGED;
    int joined = found ? block.joined : (length > 0 && text[length - 1] != '\n');
    const char* marker = joined ? begin_marker_joined : begin_marker;
    char insert[sizeof begin_marker_joined + sizeof body + sizeof end_marker + 4];
    size_t n = 0;
    if (joined)
        insert[n++] = '\n';
    memcpy(insert + n, marker, strlen(marker));
    n += strlen(marker);
    insert[n++] = '\n';
    memcpy(insert + n, body, strlen(body));
    n += strlen(body);
    memcpy(insert + n, end_marker, strlen(end_marker));
    n += strlen(end_marker);
    insert[n++] = '\n';
    if (found)
        return splice(text, length, block.start, block.end, insert, n, result);
    return splice(text, length, length, length, insert, n, result);
}

sonotrap_asoundrc_result sonotrap_asoundrc_uninstall(const char* text, size_t length, sonotrap_text* result, int* found)
{
    span block;
    const int status = find_block(text, length, &block);
    *found = status > 0;
    if (status < 0)
        return SONOTRAP_ASOUNDRC_DAMAGED;
    if (status == 0)
        return splice(text, length, length, length, "", 0, result);
    return splice(text, length, block.start, block.end, "", 0, result);
}
