#pragma once

#include <stddef.h>

/* The command line of trawlix-capture, checked before anything is opened:
 *     trawlix-capture --interface NAME [--snaplen BYTES] [--filter EXPRESSION]
 * Each option at most once, nothing else. */

enum
{
    CAPTURE_NAME_MAX = 15, /* IFNAMSIZ - 1 */
    CAPTURE_SNAPLEN_MIN = 64,
    CAPTURE_SNAPLEN_MAX = 262144, /* libpcap's own largest snapshot */
    /* Whole frames: one on lo is up to 65,549 bytes (its 65,536-byte MTU and the link header),
     * and a frame cut short leaves a hole that ends the decoding of its TCP connection. */
    CAPTURE_SNAPLEN_DEFAULT = 262144,
    CAPTURE_FILTER_MAX = 1024,
    CAPTURE_ARGUMENTS_MAX = 7,
};

struct CaptureArguments
{
    const char* interfaceName;
    int snapLength;
    const char* filter; /* NULL: every frame */
};

/* Fills `out` from argv; on a refusal returns 0 and points `why` at a one-line reason. The
 * filter is checked for its form only; compiling it is the caller's. */
int captureArgumentsParse(int argc, char** argv, struct CaptureArguments* out, const char** why);

/* A network interface name: 1 to 15 characters of letters, digits, '.', '_' and '-', not starting
 * with '.' or '-'. */
int captureInterfaceNameValid(const char* name);
