// The program's entry: single instance, start-up in its order, the at-once
// run, shutdown. Returns the process exit status: 0 no error, 1 errors were
// logged, 2 cancelled or refused (also: no main window yet, no codec library,
// files that could not be handed to the running instance).
#pragma once

int ProgramMain(int argc, char** argv);
