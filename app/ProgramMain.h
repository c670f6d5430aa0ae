// The program's entry: single instance, start-up in its order, the at-once
// run, shutdown. Returns the process exit status: 0 no error, 1 errors were
// logged, 2 cancelled or refused (also: no codec library, files that could
// not be handed to the running instance). A normal start (no at-once run)
// opens the main window and ends with 0 when it closes.
#pragma once

int ProgramMain(int argc, char** argv);
