/* trawlix-capture: opens one network interface for capture, lets go of every privilege, and
 * writes the frames to standard output as a pcap stream, for the Trawlix program that started
 * it. It is the only part of Trawlix that is granted capture (cap_net_raw,cap_net_admin on its
 * file, or set-user-ID root); it links libpcap and nothing else, reads no environment and no
 * configuration, and ends with its reader or its parent.
 *
 * Exit status: 0 when the reader or the parent went, 1 when the interface could not be opened
 * or read, 2 when the command line was refused. Each failure writes one line to standard error. */
#include "CaptureArguments.h"
#include "CapturePrivileges.h"

#include <pcap/pcap.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

enum
{
    BUFFER_BYTES = 64 * 1024 * 1024, /* the default kernel buffer drops a fifth of a fast transfer */
    READ_TIMEOUT_MS = 1000,
    WAKE_MS = 1000,    /* how often the parent is looked for while no frame arrives */
    BATCH_FRAMES = 64, /* frames written between two flushes at most */
};

#if defined(__SANITIZE_ADDRESS__)
/* The sanitizer build's leak check stops the world through ptrace, which a process started with
 * file capabilities refuses (it is not dumpable); the reader's own checks cover the leaks. */
const char* __asan_default_options(void);
const char* __asan_default_options(void)
{
    return "detect_leaks=0";
}
#endif

static void fail(int status, const char* what, const char* detail)
{
    fprintf(stderr, "trawlix-capture: %s%s%s\n", what, detail ? ": " : "", detail ? detail : "");
    exit(status);
}

/* The normal end (the reader or the parent went): the adapter is given back before the exit. */
static int finish(pcap_t* handle)
{
    pcap_close(handle);
    return 0;
}

/* Compiles against a stand-in of the link type first, so that a wrong expression is refused as
 * an argument before any privilege is used; the real link type is compiled again once open. */
static void checkFilter(pcap_t* handle, const char* filter)
{
    struct bpf_program program;
    if (pcap_compile(handle, &program, filter, 1, PCAP_NETMASK_UNKNOWN) != 0)
        fail(2, "the filter does not compile", pcap_geterr(handle));
    pcap_freecode(&program);
}

static pcap_t* openInterface(const struct CaptureArguments* arguments)
{
    /* Network interfaces only: the other capture sources (USB, D-Bus, Bluetooth monitors,
     * netfilter queues) are not what this program is for. */
    char sysPath[64];
    snprintf(sysPath, sizeof sysPath, "/sys/class/net/%s", arguments->interfaceName);
    if (strcmp(arguments->interfaceName, "any") != 0 && access(sysPath, F_OK) != 0)
        fail(1, "no such network interface", arguments->interfaceName);

    char error[PCAP_ERRBUF_SIZE] = "";
    pcap_t* handle = pcap_create(arguments->interfaceName, error);
    if (!handle)
        fail(1, "cannot open the interface", error);
    pcap_set_snaplen(handle, arguments->snapLength);
    pcap_set_promisc(handle, 1);
    pcap_set_timeout(handle, READ_TIMEOUT_MS);
    pcap_set_buffer_size(handle, BUFFER_BYTES);
    /* Without it frames arrive up to the read time-out late. */
    pcap_set_immediate_mode(handle, 1);
    const int activated = pcap_activate(handle);
    if (activated < 0) {
        const char* why = pcap_geterr(handle);
        fail(1, "cannot open the interface", why && *why ? why : pcap_statustostr(activated));
    }
    if (arguments->filter) {
        struct bpf_program program;
        if (pcap_compile(handle, &program, arguments->filter, 1, PCAP_NETMASK_UNKNOWN) != 0)
            fail(2, "the filter does not compile for this interface", pcap_geterr(handle));
        if (pcap_setfilter(handle, &program) != 0)
            fail(1, "the filter cannot be set", pcap_geterr(handle));
        pcap_freecode(&program);
    }
    if (pcap_setnonblock(handle, 1, error) != 0 || pcap_get_selectable_fd(handle) < 0)
        fail(1, "the interface has no descriptor to wait on", NULL);
    return handle;
}

int main(int argc, char** argv)
{
    const int parent = capturePrivilegesStart();
    if (parent == 0)
        return 0;
    struct CaptureArguments arguments;
    const char* why = NULL;
    if (!captureArgumentsParse(argc, argv, &arguments, &why))
        fail(2, why, NULL);
    if (isatty(STDOUT_FILENO))
        fail(2, "standard output is a terminal; this program writes binary frames for a reader", NULL);
    if (arguments.filter) {
        pcap_t* standIn = pcap_open_dead(DLT_EN10MB, arguments.snapLength);
        if (!standIn)
            fail(1, "out of memory", NULL);
        checkFilter(standIn, arguments.filter);
        pcap_close(standIn);
    }

    pcap_t* handle = openInterface(&arguments);
    if (!capturePrivilegesDrop(&why))
        fail(1, why, NULL);

    static char outputBuffer[1 << 16];
    setvbuf(stdout, outputBuffer, _IOFBF, sizeof outputBuffer);
    pcap_dumper_t* dumper = pcap_dump_fopen(handle, stdout);
    /* The stream's header, alone: the reader takes it as the sign that the interface is open. */
    if (!dumper || pcap_dump_flush(dumper) != 0)
        return finish(handle);

    struct pollfd waits[2] = {{pcap_get_selectable_fd(handle), POLLIN, 0}, {STDOUT_FILENO, 0, 0}};
    for (;;) {
        const int ready = poll(waits, 2, WAKE_MS);
        if (getppid() != parent)
            return finish(handle);
        if (ready < 0)
            continue; /* EINTR */
        /* A pipe whose reader closed reports an error to its writer. */
        if (waits[1].revents & (POLLERR | POLLHUP | POLLNVAL))
            return finish(handle);
        if (ready == 0 || !(waits[0].revents & (POLLIN | POLLERR)))
            continue;
        const int read = pcap_dispatch(handle, BATCH_FRAMES, pcap_dump, (u_char*)dumper);
        if (read < 0)
            fail(1, "reading the interface failed", pcap_geterr(handle));
        if (pcap_dump_flush(dumper) != 0)
            return finish(handle);
    }
}
