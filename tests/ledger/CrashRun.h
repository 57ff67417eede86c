#pragma once

// Running a writer alone in its own process under strace, for the crash matrices: the system calls
// at which it may be killed, the run itself, whether tracing is allowed here, and the calls a trace
// log counts.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>
#include <map>

namespace kwtest {

inline const QStringList Syscalls{"write",  "pwrite64",  "writev",          "pwritev",   "pwritev2",
                                  "fsync",  "fdatasync", "sync_file_range", "ftruncate", "truncate",
                                  "unlink", "unlinkat",  "rename",          "renameat",  "renameat2"};

struct Outcome
{
    int code = -1;
    bool crashed = false;
    QString err;
};

inline Outcome run(const QString &program, const QStringList &args, int timeoutMs = 120000)
{
    QProcess p;
    // The leak checker of a sanitizer build cannot run under a tracer; the other checks can.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QString asan = env.value("ASAN_OPTIONS");
    env.insert("ASAN_OPTIONS", asan.isEmpty() ? QStringLiteral("detect_leaks=0") : asan + ":detect_leaks=0");
    p.setProcessEnvironment(env);
    p.start(program, args);
    p.waitForFinished(timeoutMs);
    return {p.exitCode(), p.exitStatus() == QProcess::CrashExit, QString::fromUtf8(p.readAllStandardError())};
}

// Both strace and the kernel must let us trace (containers often refuse ptrace).
inline QString usableStrace()
{
    const QString strace = QStandardPaths::findExecutable(QStringLiteral("strace"));
    if (strace.isEmpty())
        return {};
    const Outcome probe = run(strace, {"-qq", "-o", "/dev/null", "/bin/true"});
    return probe.code == 0 && !probe.crashed ? strace : QString();
}

// How often each system call stands in a trace log.
inline std::map<QString, int> countCalls(const QString &log)
{
    std::map<QString, int> n;
    QFile f(log);
    if (!f.open(QIODevice::ReadOnly))
        return n;
    for (const QByteArray &line : f.readAll().split('\n')) {
        const int paren = line.indexOf('(');
        if (paren > 0)
            ++n[QString::fromLatin1(line.left(paren))];
    }
    return n;
}

inline void copyDir(const QString &from, const QString &to)
{
    QDir(to).removeRecursively();
    QDir().mkpath(to);
    for (const QString &f : QDir(from).entryList(QDir::Files))
        ASSERT_TRUE(QFile::copy(QDir(from).filePath(f), QDir(to).filePath(f)));
}

} // namespace kwtest
