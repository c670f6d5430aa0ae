// Temporary files of ours that a writer left behind when it was killed.
//
// Every temporary name this program makes carries the writing process's tag
// ("." + name + ".~" + 8 random characters + "-" + WriterTag() + suffix): the
// process id and a short hash of the machine's name, both in base 32. A later
// run can then tell a file whose writer is gone from one still being written
// (by itself, by another run, or from another machine on a shared folder).
#pragma once
#include <string>

namespace platform {

// "<pid>-<host>" of this process, computed once.
const std::string& WriterTag();

// Removes from Folder (not its subfolders) the temporary files of ours whose
// writer is provably gone: the name has exactly our pattern, with a suffix of
// ".tmp" or ".png", the writer tag names this machine and a process id that
// no process has now, and the entry is a regular file (not a link) of this
// user. Anything else stays. Returns how many were removed.
int RemoveLeftTempFiles(const std::string& Folder);

} // namespace platform
