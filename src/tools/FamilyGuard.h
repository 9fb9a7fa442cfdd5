#pragma once

#include <sys/types.h>

// Ends the tools' whole families when Trawlix itself ends without ending them (kill -9, a
// crash). Each tool already gets SIGKILL from the kernel when Trawlix goes (its death signal),
// but what a tool started in turn (yt-dlp's ffmpeg) would live on. So a small guard process,
// forked once and detached from Trawlix, keeps the list of the tools' process groups, sent to
// it through a socket only Trawlix writes to. When that socket ends, Trawlix is gone: the guard
// sends SIGKILL to every group still listed and exits. A group leaves the list when its tool is
// reaped, so the guard never signals a group id the system may have given to someone else.
//
// A tool adds its own group, between fork() and exec(): were Trawlix to add it after fork()
// returned, a kill in between would leave a family the guard never heard of.
//
// Called under the child registry's lock; the guard starts before the first tool.
namespace FamilyGuard {

// Starts the guard if it is not running; the descriptor a tool passes to addSelf(), or -1
// when there is no guard.
int channel();

// The child's side, async-signal-safe: adds the calling process's group (its own pid).
void addSelf(int channel);

void remove(pid_t group);

// The guard's pid, or -1 when it is not running (for tests).
pid_t guardPid();

} // namespace FamilyGuard
