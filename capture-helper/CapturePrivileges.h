#pragma once

/* What trawlix-capture holds beyond an ordinary process of its user, and how it lets go. */

/* First thing in main: no environment, no inherited descriptor above standard error, default
 * SIGPIPE (a closed reader ends the process), and death with the parent. Returns the parent's
 * process id, or 0 when the parent is already gone. */
int capturePrivilegesStart(void);

/* After the interface is open: back to the real user when started set-user-ID, every
 * capability set emptied (bounding set too where allowed), no new privileges on exec. Returns 0
 * and points `why` at a reason when any of it did not hold. */
int capturePrivilegesDrop(const char** why);
