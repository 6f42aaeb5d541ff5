// QProcess-based program start and the expansion of user command templates.
#include "platform/launcher.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QPointer>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <memory>

namespace ormix {
namespace {

ProgramLauncher& defaultLauncher() {
    static ProcessLauncher instance;
    return instance;
}

std::atomic<ProgramLauncher*> current{nullptr};

const QString kPrg = QStringLiteral("%%prg%%");
const QString kDir = QStringLiteral("%%dir%%");

QString replacePlaceholders(const QString& word, const PlaceholderTexts& texts) {
    const std::pair<QString, const QString*> table[] = {{kPrg, &texts.prg},
                                                        {kDir, &texts.dir},
                                                        {QStringLiteral("%%url%%"), &texts.url},
                                                        {QStringLiteral("%%unc%%"), &texts.unc}};
    QString out;
    qsizetype i = 0;
    while (i < word.size()) {
        bool replaced = false;
        for (const auto& [name, text] : table) {
            if (QStringView(word).mid(i, name.size()) == name) {
                out += *text;
                i += name.size();
                replaced = true;
                break;
            }
        }
        if (!replaced)
            out += word[i++];
    }
    return out;
}

} // namespace

bool ProcessLauncher::startDetached(const QString& program, const QStringList& arguments) {
    if (program.isEmpty())
        return false;
    return QProcess::startDetached(program, arguments);
}

void ProgramLauncher::startWatched(const QString& program, const QStringList& arguments, int watchMs,
                                   QObject* context, std::function<void(const RunResult&)> ended) {
    (void)watchMs;
    RunResult result;
    if (startDetached(program, arguments))
        result = RunResult{RunResult::Status::Exited, 0, {}, {}};
    QMetaObject::invokeMethod(
        context, [ended = std::move(ended), result] { ended(result); }, Qt::QueuedConnection);
}

void ProcessLauncher::startWatched(const QString& program, const QStringList& arguments, int watchMs,
                                   QObject* context, std::function<void(const RunResult&)> ended) {
    // The process outlives the watch and deletes itself when it ends; one
    // still running when the application goes is ended with it (an opener
    // that waits for the program it started leaves that program running).
    // The shared flag makes sure `ended` runs once.
    auto* process = new QProcess(QCoreApplication::instance());
    auto reported = std::make_shared<bool>(false);
    auto report = [context = QPointer<QObject>(context), ended, reported](const RunResult& result) {
        if (*reported || !context)
            return;
        *reported = true;
        QMetaObject::invokeMethod(
            context, [ended, result] { ended(result); }, Qt::QueuedConnection);
    };
    QObject::connect(process, &QProcess::errorOccurred, process, [process, report](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart) {
            report(RunResult{});
            process->deleteLater();
        }
    });
    QObject::connect(
        process, &QProcess::finished, process, [process, report](int exitCode, QProcess::ExitStatus status) {
            RunResult r;
            r.status = status == QProcess::CrashExit ? RunResult::Status::Crashed : RunResult::Status::Exited;
            r.exitCode = exitCode;
            report(r);
            process->deleteLater();
        });
    QTimer::singleShot(watchMs, process, [report] {
        report(RunResult{RunResult::Status::Exited, 0, {}, {}});
    });
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    if (program.isEmpty()) {
        report(RunResult{});
        process->deleteLater();
        return;
    }
    process->start(program, arguments, QIODevice::ReadOnly);
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

ProgramCommand expandProgramTemplate(const QString& templateText, const PlaceholderTexts& texts) {
    ProgramCommand command;
    const QStringList words = QProcess::splitCommand(templateText);
    if (words.isEmpty())
        return command;
    command.program = replacePlaceholders(words.front(), texts);
    for (qsizetype i = 1; i < words.size(); ++i)
        command.arguments << replacePlaceholders(words[i], texts);
    return command;
}

bool templateWantsLocalPath(const QString& templateText) {
    for (const QString& word : QProcess::splitCommand(templateText)) {
        if (word.contains(kPrg) || word.contains(kDir))
            return true;
    }
    return false;
}

} // namespace ormix
