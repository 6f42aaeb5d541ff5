// Starting other programs (xdg-open, gio, the user's own programs) without a
// shell. Every start goes through the process-wide ProgramLauncher so tests can
// put a recording fake in its place.
// Tests: tests/platform/launcher_test.cpp.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

class QObject;

namespace ormix {

struct RunResult {
    enum class Status {
        Exited,        // ran to its end; exitCode is valid
        FailedToStart, // not found, not executable, or no program named
        Crashed,       // ended by a signal
        TimedOut,      // still running at the time limit; it was killed
        Cancelled,     // its caller gave up on it; it was killed
    };
    Status status = Status::FailedToStart;
    int exitCode = -1;
    QByteArray standardOutput;
    QByteArray standardError;

    bool succeeded() const { return status == Status::Exited && exitCode == 0; }
};

class ProgramLauncher {
public:
    virtual ~ProgramLauncher() = default;
    // Starts the program and does not wait; false when it could not be started.
    virtual bool startDetached(const QString& program, const QStringList& arguments) = 0;
    // Starts the program without waiting and tells `ended`, on the thread of
    // `context`, how the start went: its result when it ends within watchMs,
    // FailedToStart when it could not be started, Exited 0 when it still runs
    // at watchMs (it is then left to run). For openers such as xdg-open that
    // report a missing handler by their exit code. The default, for fakes,
    // reports what startDetached says.
    virtual void startWatched(const QString& program, const QStringList& arguments, int watchMs,
                              QObject* context, std::function<void(const RunResult&)> ended);
    // Runs the program to its end or for at most timeoutMs (-1: no limit); its
    // standard input is empty.
    virtual RunResult run(const QString& program, const QStringList& arguments, int timeoutMs) = 0;
    // The same with `input` on the program's standard input (answers to its
    // questions; never put a secret into the arguments). The default ignores
    // the input, for fakes that do not care.
    virtual RunResult runWithInput(const QString& program, const QStringList& arguments,
                                   const QByteArray& input, int timeoutMs) {
        (void)input;
        return run(program, arguments, timeoutMs);
    }
    // The same again, and setting `cancel` from another thread kills the
    // program at once (the run then reports Cancelled). The default runs to
    // the end, for fakes that never block.
    virtual RunResult runCancellable(const QString& program, const QStringList& arguments,
                                     const QByteArray& input, int timeoutMs,
                                     const std::atomic<bool>& cancel) {
        (void)cancel;
        return input.isEmpty() ? run(program, arguments, timeoutMs)
                               : runWithInput(program, arguments, input, timeoutMs);
    }
};

// The real thing, on QProcess. Usable from any thread, with or without a QCoreApplication.
class ProcessLauncher : public ProgramLauncher {
public:
    bool startDetached(const QString& program, const QStringList& arguments) override;
    void startWatched(const QString& program, const QStringList& arguments, int watchMs, QObject* context,
                      std::function<void(const RunResult&)> ended) override;
    RunResult run(const QString& program, const QStringList& arguments, int timeoutMs) override;
    RunResult runWithInput(const QString& program, const QStringList& arguments, const QByteArray& input,
                           int timeoutMs) override;
    RunResult runCancellable(const QString& program, const QStringList& arguments, const QByteArray& input,
                             int timeoutMs, const std::atomic<bool>& cancel) override;
};

// The process-wide launcher: a ProcessLauncher unless replaced.
ProgramLauncher& launcher();

// Puts `replacement` in place for the life of this object (the caller owns it),
// then restores the one before. For tests.
class ScopedLauncher {
public:
    explicit ScopedLauncher(ProgramLauncher& replacement);
    ~ScopedLauncher();
    ScopedLauncher(const ScopedLauncher&) = delete;
    ScopedLauncher& operator=(const ScopedLauncher&) = delete;

private:
    ProgramLauncher* previous_;
};

struct ProgramCommand {
    QString program; // empty when the template holds no word
    QStringList arguments;
};

// What a user's template gets for its placeholders, each text put in as it is.
struct PlaceholderTexts {
    QString prg; // "%%prg%%": the file, as a path a program can open
    QString dir; // "%%dir%%": the file's folder, the same way
    QString url; // "%%url%%": the file's smb:// URL
    QString unc; // "%%unc%%": the file's "\\host\share\path"
};

// A user's command-line template made into a program and its arguments: the
// template is split into words as a shell would (QProcess::splitCommand:
// blanks separate, double quotes group, a tripled quote is a literal quote),
// then in each word every "%%prg%%", "%%dir%%", "%%url%%" and "%%unc%%" is
// replaced (case-sensitive, one pass: inserted text is never scanned again).
// A file name can therefore never add a word or a command.
ProgramCommand expandProgramTemplate(const QString& templateText, const PlaceholderTexts& texts);

// Whether a word of the template holds "%%prg%%" or "%%dir%%" (the two that
// ask for a local path).
bool templateWantsLocalPath(const QString& templateText);

} // namespace ormix
