#pragma once

#include <QString>

#include <sys/types.h>

#include <functional>

// The children Trawlix itself started and has not reaped yet. Ending tools goes through this
// list only, so no other program's process is ever signalled. Each child leads its own process
// group, so a signal reaches the tool and whatever it started in turn.
//
// A pid stays in the list until its runner removes it in the same locked step that reaps it,
// so a signal sent under the lock can never reach a recycled pid.
namespace ChildRegistry {

// Runs spawn under the registry lock and records the pid it returns (when positive). While
// refusing, spawn is not run and -1 is returned.
pid_t spawnAndAdd(const QString& programPath, const std::function<pid_t()>& spawn);

// Reaps the child (it must have exited already) and removes it. Returns the wait status and
// sets stopRequested when the child had been asked to stop through this registry.
int reapAndRemove(pid_t pid, bool* stopRequested);

// Sends signal to the process group of every child whose program file name contains nameFilter
// (all children when it is empty) and marks them as asked to stop. Returns how many it reached.
int signalChildren(const QString& nameFilter, int signal);

// Marks one child as asked to stop and sends signal to its process group.
void signalChild(pid_t pid, int signal);

// Refuses (or again allows) new children: set once the program is going away.
void setRefusing(bool refusing);

// How many children whose program file name contains nameFilter are still listed.
int count(const QString& nameFilter = {});

} // namespace ChildRegistry
