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
// Called under the child registry's lock; the guard starts with the first tool.
namespace FamilyGuard {

void add(pid_t group);
void remove(pid_t group);

// The guard's pid, or -1 when it is not running (for tests).
pid_t guardPid();

} // namespace FamilyGuard
