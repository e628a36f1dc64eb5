#include "relay/CommandEngine.h"

#include "relay/AudioDecoder.h"
#include "relay/DataFolder.h"
#include "relay/Secrets.h"

#include <QDir>
#include <QFile>
#include <QtEndian>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace parlova::relay {

namespace {

void appendLE(QByteArray& out, quint32 value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.append(char((value >> (8 * i)) & 0xff));
}

bool writePrivateFile(const QString& path, const QByteArray& bytes) {
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + written, size_t(bytes.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ::close(fd);
            return false;
        }
        written += n;
    }
    return ::close(fd) == 0;
}

struct Run {
    int exitCode = -1;
    bool timedOut = false;
    QByteArray out;
    QByteArray err;
};

// Runs the shell command and gathers its output, within the time limit.
std::optional<Run> runShell(const QByteArray& script, const QByteArray& argument,
                            const std::optional<QString>& language) {
    int out[2];
    int err[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return std::nullopt;
    if (::pipe2(err, O_CLOEXEC) != 0) {
        ::close(out[0]);
        ::close(out[1]);
        return std::nullopt;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    // The relay's sockets and database stay out of the command's reach.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);

    QByteArrayList environment;
    for (char** entry = environ; *entry; ++entry)
        if (!QByteArray(*entry).startsWith("PARLOVA_LANGUE="))
            environment.append(QByteArray(*entry));
    if (language)
        environment.append("PARLOVA_LANGUE=" + language->toUtf8());
    std::vector<char*> envp;
    for (QByteArray& entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    QByteArray shell("/bin/sh");
    QByteArray dashC("-c");
    QByteArray script0 = script;
    QByteArray name("parlova-relais");
    QByteArray arg = argument;
    char* argv[] = {shell.data(), dashC.data(), script0.data(), name.data(), arg.data(), nullptr};
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, "/bin/sh", &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    if (spawned != 0) {
        ::close(out[0]);
        ::close(err[0]);
        return std::nullopt;
    }

    Run run;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(CommandEngine::timeoutSeconds);
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    QByteArray* sinks[2] = {&run.out, &run.err};
    int open = 2;
    while (open > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            run.timedOut = true;
            ::kill(pid, SIGKILL);
            break;
        }
        const int ready = ::poll(fds, 2, int(std::min<qint64>(left.count(), 1000)));
        if (ready < 0 && errno != EINTR)
            break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buffer[4096];
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                // A transcript is short; a flood of output is cut.
                if (sinks[i]->size() < 1024 * 1024)
                    sinks[i]->append(buffer, n);
            } else if (n == 0 || errno != EINTR) {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (const pollfd& fd : fds)
        if (fd.fd >= 0)
            ::close(fd.fd);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

} // namespace

CommandEngine::CommandEngine(QString command, QString workDir)
    : m_command(std::move(command))
    , m_workDir(std::move(workDir)) {}

QByteArray CommandEngine::wav(const std::vector<qint16>& samples, int sampleRate) {
    const quint32 dataSize = quint32(samples.size() * sizeof(qint16));
    QByteArray out;
    out.reserve(int(44 + dataSize));
    out.append("RIFF");
    appendLE(out, 36 + dataSize, 4);
    out.append("WAVEfmt ");
    appendLE(out, 16, 4);
    appendLE(out, 1, 2); // PCM
    appendLE(out, 1, 2); // mono
    appendLE(out, quint32(sampleRate), 4);
    appendLE(out, quint32(sampleRate * 2), 4);
    appendLE(out, 2, 2);
    appendLE(out, 16, 2);
    out.append("data");
    appendLE(out, dataSize, 4);
    for (const qint16 sample : samples)
        appendLE(out, quint32(quint16(sample)), 2);
    return out;
}

Transcription CommandEngine::transcribe(const std::vector<qint16>& samples,
                                        const QByteArray& /*upload*/,
                                        const std::optional<QString>& language) {
    // The takes are people's voices: the folder is the relay's alone, and
    // never a link to somewhere else.
    const auto folder = DataFolder::prepare(m_workDir);
    if (folder != DataFolder::Outcome::Created && folder != DataFolder::Outcome::Existing)
        return EngineFailure::failed(QStringLiteral("dossier des dictées"));
    const QString path =
        QDir(m_workDir).filePath(QStringLiteral("dictee-%1.wav").arg(Secrets::randomDigits(12)));
    if (!writePrivateFile(path, wav(samples, AudioDecoder::sampleRate)))
        return EngineFailure::failed(QStringLiteral("fichier WAV"));

    QString script = m_command;
    if (script.contains(QStringLiteral("{wav}")))
        script.replace(QStringLiteral("{wav}"), QStringLiteral("\"$1\""));
    else
        script += QStringLiteral(" \"$1\"");
    const auto run = runShell(script.toUtf8(), QFile::encodeName(path), language);
    QFile::remove(path);

    if (!run)
        return EngineFailure::failed(QStringLiteral("lancement impossible"));
    const QString errors = QString::fromUtf8(run->err.left(300)).trimmed();
    if (run->timedOut)
        return EngineFailure::failed(QStringLiteral("délai dépassé"));
    // The shell's own codes: command not found, or not executable.
    if (run->exitCode == 126 || run->exitCode == 127)
        return EngineFailure::misconfigured(
            QStringLiteral("commande introuvable : %1").arg(errors));
    if (run->exitCode != 0)
        return EngineFailure::failed(
            QStringLiteral("code de sortie %1 : %2").arg(run->exitCode).arg(errors));
    return QString::fromUtf8(run->out);
}

} // namespace parlova::relay
