#include "CapturePrivileges.h"

#include <errno.h>
#include <grp.h>
#include <linux/capability.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

static void closeInherited(void)
{
#ifdef SYS_close_range
    if (syscall(SYS_close_range, 3u, ~0u, 0u) == 0)
        return;
#endif
    const long last = sysconf(_SC_OPEN_MAX);
    for (long fd = 3; fd < (last > 0 && last < 65536 ? last : 65536); ++fd)
        close((int)fd);
}

int capturePrivilegesStart(void)
{
    /* The kernel clears a parent-death signal on a privileged exec, so it is set here. */
    prctl(PR_SET_PDEATHSIG, SIGKILL, 0, 0, 0);
    const pid_t parent = getppid();
    clearenv();
    closeInherited();
    signal(SIGPIPE, SIG_DFL);
    /* Reparented before the line above: the parent went while this process started. */
    return parent == 1 ? 0 : (int)parent;
}

static int capabilitiesEmpty(void)
{
    struct __user_cap_header_struct header = {_LINUX_CAPABILITY_VERSION_3, 0};
    struct __user_cap_data_struct data[2];
    if (syscall(SYS_capget, &header, data) != 0)
        return 0;
    for (int i = 0; i < 2; ++i) {
        if (data[i].effective || data[i].permitted || data[i].inheritable)
            return 0;
    }
    return 1;
}

int capturePrivilegesDrop(const char** why)
{
    const uid_t user = getuid();
    const gid_t group = getgid();
    /* Started set-user-ID root by someone else: become that user again, for good. */
    if (geteuid() == 0 && user != 0) {
        if (setgroups(0, NULL) != 0) {
            *why = "cannot drop the supplementary groups";
            return 0;
        }
    }
    if (setresgid(group, group, group) != 0 || setresuid(user, user, user) != 0) {
        *why = "cannot return to the real user";
        return 0;
    }
    /* Root may narrow its bounding set; anyone else lacks CAP_SETPCAP and is refused, harmlessly. */
    for (int cap = 0; cap <= CAP_LAST_CAP; ++cap)
        prctl(PR_CAPBSET_DROP, cap, 0, 0, 0);
    prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0);
    struct __user_cap_header_struct header = {_LINUX_CAPABILITY_VERSION_3, 0};
    struct __user_cap_data_struct none[2] = {{0, 0, 0}, {0, 0, 0}};
    if (syscall(SYS_capset, &header, none) != 0 || !capabilitiesEmpty()) {
        *why = "cannot clear the capabilities";
        return 0;
    }
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) {
        *why = "cannot forbid new privileges";
        return 0;
    }
    uid_t real, effective, saved;
    if (getresuid(&real, &effective, &saved) != 0 || real != user || effective != user || saved != user) {
        *why = "the user did not change";
        return 0;
    }
    return 1;
}
