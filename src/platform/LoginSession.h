#pragma once
// Whether this process runs as a batch job: outside a graphical login session (a scheduled task, cron,
// a systemd service) nobody sees a message box.

// The logind session of the process decides: none, or one that is not graphical (x11, wayland, mir),
// means batch. Where logind does not answer (no systemd), a display variable or a terminal on standard
// input means someone is there.
bool IsBatchSession();
