/* sonotrap-register: adds the Sonotrap device to ALSA's configuration, or takes it out again.
 * The user's ~/.asoundrc by default, the system's /etc/asound.conf with --system. */
#include "AsoundrcBlock.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#define MAX_CONFIG_BYTES (16u * 1024u * 1024u) /* no real configuration comes near this */

static int usage(FILE* out)
{
    fprintf(out, "Usage: sonotrap-register --install|--uninstall [--system | --file PATH]\n"
                 "\n"
                 "  --install    add pcm.sonotrap (listed as \"Sonotrap\") to the ALSA configuration\n"
                 "  --uninstall  remove it again; every other entry stays as it was\n"
                 "  --system     change /etc/asound.conf instead of ~/.asoundrc\n"
                 "  --file PATH  change PATH\n");
    return out == stdout ? 0 : 2;
}

/* Reads the whole file; a missing file reads as empty (*exists = 0). */
static int read_file(const char* path, sonotrap_text* text, int* exists, mode_t* mode)
{
    text->data = NULL;
    text->length = 0;
    *exists = 0;
    *mode = 0644;
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? 0 : -errno;
    struct stat info;
    if (fstat(fd, &info) < 0 || !S_ISREG(info.st_mode) || info.st_size > (off_t)MAX_CONFIG_BYTES) {
        int error = S_ISREG(info.st_mode) ? -EFBIG : -EINVAL;
        close(fd);
        return error;
    }
    *exists = 1;
    *mode = info.st_mode & 07777;
    text->data = malloc((size_t)info.st_size + 1);
    if (!text->data) {
        close(fd);
        return -ENOMEM;
    }
    size_t total = 0;
    for (;;) {
        ssize_t got = read(fd, text->data + total, (size_t)info.st_size - total);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            int error = -errno;
            close(fd);
            return error;
        }
        if (got == 0 || total + (size_t)got == (size_t)info.st_size) {
            total += (size_t)got;
            break;
        }
        total += (size_t)got;
    }
    close(fd);
    text->length = total;
    text->data[total] = '\0';
    return 0;
}

/* Writes through a temporary file in the same folder and renames it over the target, so the
 * configuration is never seen half written. */
static int write_atomically(const char* path, const sonotrap_text* text, mode_t mode)
{
    char temporary[PATH_MAX];
    if (snprintf(temporary, sizeof temporary, "%s.sonotrap-XXXXXX", path) >= (int)sizeof temporary)
        return -ENAMETOOLONG;
    int fd = mkostemp(temporary, O_CLOEXEC);
    if (fd < 0)
        return -errno;
    size_t done = 0;
    int error = 0;
    while (done < text->length) {
        ssize_t put = write(fd, text->data + done, text->length - done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0) {
            error = -errno;
            break;
        }
        done += (size_t)put;
    }
    if (!error && (fchmod(fd, mode) < 0 || fsync(fd) < 0))
        error = -errno;
    if (close(fd) < 0 && !error)
        error = -errno;
    if (!error && rename(temporary, path) < 0)
        error = -errno;
    if (error)
        unlink(temporary);
    return error;
}

int main(int argc, char** argv)
{
    int install = -1;
    const char* path = NULL;
    char home_path[PATH_MAX];
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--install") == 0)
            install = 1;
        else if (strcmp(argv[i], "--uninstall") == 0)
            install = 0;
        else if (strcmp(argv[i], "--system") == 0)
            path = "/etc/asound.conf";
        else if (strcmp(argv[i], "--file") == 0 && i + 1 < argc)
            path = argv[++i];
        else if (strcmp(argv[i], "--help") == 0)
            return usage(stdout);
        else
            return usage(stderr);
    }
    if (install < 0)
        return usage(stderr);
    if (!path) {
        const char* home = getenv("HOME");
        if (!home || !*home) {
            fprintf(stderr, "sonotrap-register: HOME is not set\n");
            return 1;
        }
        if (snprintf(home_path, sizeof home_path, "%s/.asoundrc", home) >= (int)sizeof home_path)
            return 1;
        path = home_path;
    }
    /* A link (a configuration kept elsewhere) is followed, so the link itself stays. */
    char resolved[PATH_MAX];
    if (realpath(path, resolved))
        path = resolved;

    sonotrap_text before;
    int exists = 0;
    mode_t mode = 0644;
    int error = read_file(path, &before, &exists, &mode);
    if (error < 0) {
        fprintf(stderr, "sonotrap-register: cannot read %s: %s\n", path, strerror(-error));
        return 1;
    }
    sonotrap_text after = {NULL, 0};
    int found = 1;
    const char* empty = "";
    const char* text = before.data ? before.data : empty;
    sonotrap_asoundrc_result result = install ? sonotrap_asoundrc_install(text, before.length, &after)
                                              : sonotrap_asoundrc_uninstall(text, before.length, &after, &found);
    if (result == SONOTRAP_ASOUNDRC_DAMAGED) {
        fprintf(stderr, "sonotrap-register: %s has a Sonotrap begin marker without its end; fix it by hand\n", path);
        free(before.data);
        return 1;
    }
    if (result != SONOTRAP_ASOUNDRC_OK) {
        free(before.data);
        return 1;
    }
    int changed = after.length != before.length || memcmp(after.data, text, after.length) != 0;
    if (changed && !install && after.length == 0) {
        /* Nothing but the block was there: the file goes, as it was before installing. */
        if (unlink(path) < 0)
            error = -errno;
    } else if (changed) {
        error = write_atomically(path, &after, mode);
    }
    free(before.data);
    free(after.data);
    if (error < 0) {
        fprintf(stderr, "sonotrap-register: cannot write %s: %s\n", path, strerror(-error));
        return 1;
    }
    if (install)
        printf("sonotrap-register: pcm.sonotrap %s in %s\n", changed ? "installed" : "already installed", path);
    else
        printf("sonotrap-register: %s\n", found ? "pcm.sonotrap removed" : "pcm.sonotrap was not installed");
    (void)exists;
    return 0;
}
