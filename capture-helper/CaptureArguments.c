#include "CaptureArguments.h"

#include <string.h>

static int isNameCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
           c == '-';
}

int captureInterfaceNameValid(const char* name)
{
    const size_t length = strnlen(name, CAPTURE_NAME_MAX + 1);
    if (length == 0 || length > CAPTURE_NAME_MAX || name[0] == '.' || name[0] == '-')
        return 0;
    for (size_t i = 0; i < length; ++i) {
        if (!isNameCharacter(name[i]))
            return 0;
    }
    return 1;
}

/* Decimal digits only (no sign, no spaces, no leading zero), within the bounds. */
static int parseSnapLength(const char* text, int* out)
{
    const size_t length = strnlen(text, 8);
    if (length == 0 || length > 6 || text[0] == '0')
        return 0;
    long value = 0;
    for (size_t i = 0; i < length; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return 0;
        value = value * 10 + (text[i] - '0');
    }
    if (value < CAPTURE_SNAPLEN_MIN || value > CAPTURE_SNAPLEN_MAX)
        return 0;
    *out = (int)value;
    return 1;
}

/* Printable ASCII only: a filter is an expression typed by a person, never binary. */
static int filterFormValid(const char* text)
{
    const size_t length = strnlen(text, CAPTURE_FILTER_MAX + 1);
    if (length == 0 || length > CAPTURE_FILTER_MAX)
        return 0;
    for (size_t i = 0; i < length; ++i) {
        if ((unsigned char)text[i] < 0x20 || (unsigned char)text[i] > 0x7e)
            return 0;
    }
    return 1;
}

int captureArgumentsParse(int argc, char** argv, struct CaptureArguments* out, const char** why)
{
    out->interfaceName = NULL;
    out->snapLength = CAPTURE_SNAPLEN_DEFAULT;
    out->filter = NULL;
    int snapGiven = 0;
    if (argc < 1 || argc > CAPTURE_ARGUMENTS_MAX) {
        *why = "usage: trawlix-capture --interface NAME [--snaplen BYTES] [--filter EXPRESSION]";
        return 0;
    }
    for (int i = 1; i < argc; i += 2) {
        const char* option = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : NULL;
        if (strcmp(option, "--interface") == 0) {
            if (!value || out->interfaceName) {
                *why = "--interface takes one name, once";
                return 0;
            }
            if (!captureInterfaceNameValid(value)) {
                *why = "the interface name is not a network interface name";
                return 0;
            }
            out->interfaceName = value;
        } else if (strcmp(option, "--snaplen") == 0) {
            if (!value || snapGiven) {
                *why = "--snaplen takes one number, once";
                return 0;
            }
            if (!parseSnapLength(value, &out->snapLength)) {
                *why = "the snapshot length is not a number from 64 to 262144";
                return 0;
            }
            snapGiven = 1;
        } else if (strcmp(option, "--filter") == 0) {
            if (!value || out->filter) {
                *why = "--filter takes one expression, once";
                return 0;
            }
            if (!filterFormValid(value)) {
                *why = "the filter is empty, longer than 1024 characters or not printable ASCII";
                return 0;
            }
            out->filter = value;
        } else {
            *why = "usage: trawlix-capture --interface NAME [--snaplen BYTES] [--filter EXPRESSION]";
            return 0;
        }
    }
    if (!out->interfaceName) {
        *why = "--interface is missing";
        return 0;
    }
    return 1;
}
