// A full disk for a started program: its files may grow to Limit bytes, and a
// write past it fails (the signal the kernel sends for it is ignored).
#pragma once
#include <QProcess>

#include <csignal>
#include <sys/resource.h>

inline void LimitFileSize(QProcess& P, rlim_t Limit)
{
    if (Limit == 0)
        return;
    P.setChildProcessModifier([Limit] {
        ::signal(SIGXFSZ, SIG_IGN);
        struct rlimit R { };
        ::getrlimit(RLIMIT_FSIZE, &R);
        R.rlim_cur = Limit;
        ::setrlimit(RLIMIT_FSIZE, &R);
    });
}
