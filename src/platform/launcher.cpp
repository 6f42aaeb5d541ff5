// QProcess-based program start and the expansion of user command templates.
#include "platform/launcher.h"

#include <QDeadlineTimer>
#include <QProcess>

#include <algorithm>
#include <atomic>

namespace ormix {
namespace {

ProgramLauncher& defaultLauncher() {
    static ProcessLauncher instance;
    return instance;
}

std::atomic<ProgramLauncher*> current{nullptr};

QString replacePlaceholders(const QString& word, const QString& fileUrl, const QString& dirUrl) {
    static const QString kPrg = QStringLiteral("%%prg%%");
    static const QString kDir = QStringLiteral("%%dir%%");
    QString out;
    qsizetype i = 0;
    while (i < word.size()) {
        if (word.mid(i, kPrg.size()) == kPrg) {
            out += fileUrl;
            i += kPrg.size();
        } else if (word.mid(i, kDir.size()) == kDir) {
            out += dirUrl;
            i += kDir.size();
        } else {
            out += word[i++];
        }
    }
    return out;
}

} // namespace

bool ProcessLauncher::startDetached(const QString& program, const QStringList& arguments) {
    if (program.isEmpty())
        return false;
    return QProcess::startDetached(program, arguments);
}

RunResult ProcessLauncher::run(const QString& program, const QStringList& arguments, int timeoutMs) {
    return runWithInput(program, arguments, QByteArray(), timeoutMs);
}

RunResult ProcessLauncher::runWithInput(const QString& program, const QStringList& arguments,
                                        const QByteArray& input, int timeoutMs) {
    static const std::atomic<bool> never{false};
    return runCancellable(program, arguments, input, timeoutMs, never);
}

RunResult ProcessLauncher::runCancellable(const QString& program, const QStringList& arguments,
                                          const QByteArray& input, int timeoutMs,
                                          const std::atomic<bool>& cancel) {
    // How often a running program's caller is asked whether it still waits.
    constexpr int kCancelPollMs = 50;
    RunResult result;
    if (program.isEmpty())
        return result;
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    if (input.isEmpty()) {
        process.setStandardInputFile(QProcess::nullDevice());
        process.start(QIODevice::ReadOnly);
    } else {
        process.start(QIODevice::ReadWrite);
    }
    if (!process.waitForStarted(-1))
        return result;
    if (!input.isEmpty()) {
        process.write(input);
        process.closeWriteChannel(); // a question asked twice reads the end of input
    }
    const QDeadlineTimer deadline(timeoutMs < 0 ? QDeadlineTimer::Forever : QDeadlineTimer(timeoutMs));
    bool finished = false;
    while (!finished && !cancel && !deadline.hasExpired()) {
        const qint64 left = deadline.remainingTime();
        finished =
            process.waitForFinished(left < 0 ? kCancelPollMs : int(std::min<qint64>(left, kCancelPollMs))) ||
            process.state() == QProcess::NotRunning;
    }
    if (!finished) {
        process.kill();
        process.waitForFinished(-1);
        result.status = cancel ? RunResult::Status::Cancelled : RunResult::Status::TimedOut;
    } else if (process.exitStatus() == QProcess::CrashExit) {
        result.status = RunResult::Status::Crashed;
    } else {
        result.status = RunResult::Status::Exited;
        result.exitCode = process.exitCode();
    }
    result.standardOutput = process.readAllStandardOutput();
    result.standardError = process.readAllStandardError();
    return result;
}

ProgramLauncher& launcher() {
    ProgramLauncher* l = current.load();
    return l ? *l : defaultLauncher();
}

ScopedLauncher::ScopedLauncher(ProgramLauncher& replacement) : previous_(current.exchange(&replacement)) {}

ScopedLauncher::~ScopedLauncher() {
    current.store(previous_);
}

ProgramCommand expandProgramTemplate(const QString& templateText, const QString& fileUrl,
                                     const QString& dirUrl) {
    ProgramCommand command;
    const QStringList words = QProcess::splitCommand(templateText);
    if (words.isEmpty())
        return command;
    command.program = replacePlaceholders(words.front(), fileUrl, dirUrl);
    for (qsizetype i = 1; i < words.size(); ++i)
        command.arguments << replacePlaceholders(words[i], fileUrl, dirUrl);
    return command;
}

} // namespace ormix
