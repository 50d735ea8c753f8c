// Whether a person double-clicked lumarest-check in Explorer: then Windows
// made a console window for the tool alone and closes it the moment the
// tool ends, so the report must wait for a key to be read at all. Every
// other start must never wait: a script, a shell, a pipe, Task Scheduler,
// a service or a remote shell (each of the last three also gives the tool
// a console of its own, which nobody looks at), and a wait there would
// last for ever.
#pragma once

// True when standard output is a console, the console lists this process
// alone, and the parent is Explorer (explorer.exe in the Windows folder)
// that started before this process. A parent that has ended, or whose id
// now belongs to a process started after this one, is no parent: no wait.
bool StartedByDoubleClick();
