// A run that is interrupted (Ctrl-C, a closed terminal, kill; on Windows
// Ctrl-C, Ctrl-Break or a closed console) removes the new file it was
// writing the link into, so that nothing half-written is left beside the
// target. The process then ends as the signal would have ended it.
#pragma once

// From now on an interruption removes the file named path (kept as a
// pointer: the name must stay in place until stop_removing_on_interrupt).
// Call before the file is made, then arm_removal_on_interrupt once it is:
// signals wait in between, so that none finds a name without its file.
void remove_on_interrupt(const char* path);

// The file is there now; a signal that came in the meantime strikes here.
void arm_removal_on_interrupt();

// The file is gone or in place: interruptions act as before.
void stop_removing_on_interrupt();
