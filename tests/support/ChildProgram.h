#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <chrono>
#include <sys/types.h>

// A program run in a child process, its standard output and error gathered
// as they come.
//
// It is started with posix_spawn, not QProcess: Qt starts its children with
// a clone that shares the parent's memory until exec, and the thread
// sanitizer, seeing a fork there, stops checking the parent's threads from
// then on (or kills the parent at its next new thread). The tests that run
// the station's own program beside their threads are the ones that need
// the checks most.
class ChildProgram
{
public:
    using Clock = std::chrono::steady_clock;

    // Starts program (a path, or a name looked up in PATH) with arguments;
    // environment entries "NAME=value" are added to this process's own; in
    // workingDirectory when one is given.
    ChildProgram(const QString& program, const QStringList& arguments,
                 const QStringList& environment = {}, const QString& workingDirectory = {});
    // Kills a program still running and waits for its end.
    ~ChildProgram();
    ChildProgram(const ChildProgram&) = delete;
    ChildProgram& operator=(const ChildProgram&) = delete;

    bool started() const { return m_pid > 0; }
    QString startError() const { return m_startError; }
    pid_t pid() const { return m_pid; }
    bool running() const { return m_pid > 0 && !m_ended; }

    // Waits until the program writes something or ends, or the deadline
    // passes; false when nothing came (the program had ended, or time ran out).
    bool serve(Clock::time_point deadline);
    // Waits for the end (reading all output); the exit status, or -1 when it
    // was ended by a signal or was still running at the deadline.
    int finish(Clock::duration timeout = std::chrono::seconds(20));
    void signal(int signal);
    // Closes the program's standard input (it starts as an open pipe).
    void closeInput();

    // Runs a program to its end with its input closed; its exit status, or
    // -1 when it did not end normally (or never started: see startError()).
    int run(Clock::duration timeout = std::chrono::minutes(5));

    const QByteArray& output() const { return m_out; }
    const QByteArray& errorOutput() const { return m_err; }

private:
    void Reap();

    pid_t m_pid = -1;
    QString m_startError;
    int m_inFd = -1;
    int m_outFd = -1;
    int m_errFd = -1;
    bool m_ended = false;
    int m_status = 0;
    QByteArray m_out;
    QByteArray m_err;
};
