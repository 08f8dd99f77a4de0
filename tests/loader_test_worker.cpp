// lumora-loader-test: the real loader with a decoder in front that does what
// a broken or hostile decoder would, for files that begin with
// "LUMORA-TEST " and a word. Its decode result says what the system let it
// do, so a test can tell "refused" from "done".
#include "loader/LoaderWorker.h"

#include <QIODevice>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace
{

using lumora::imaging::DecodedImage;

DecodedImage outcome(const QString &what, int rc)
{
    DecodedImage out;
    out.error =
        rc < 0 ? QStringLiteral("%1 refused: %2").arg(what, QString::fromLocal8Bit(strerror(errno)))
               : QStringLiteral("%1 done").arg(what);
    return out;
}

std::optional<DecodedImage> misbehave(QIODevice &file, const lumora::imaging::DecodeOptions &)
{
    const QByteArray head = file.peek(512);
    if (!head.startsWith("LUMORA-TEST "))
        return std::nullopt;
    const QList<QByteArray> words = head.mid(12).trimmed().split(' ');
    const QByteArray action = words.value(0).trimmed();
    const QByteArray argument = words.value(1).trimmed();
    if (action == "fpe") {
        volatile int numerator = 1000, zero = 0;
        return outcome(QString::number(numerator / zero), 0);
    } else if (action == "crash") {
        std::raise(SIGSEGV);
    } else if (action == "abort") {
        std::abort();
    } else if (action == "hang") {
        for (;;)
            pause();
    } else if (action == "spin") {
        volatile unsigned long n = 0;
        for (;;)
            n = n + 1;
    } else if (action == "allocate") {
        // 10 GB, touched, as a decoder trusting a header would.
        std::vector<char> huge(size_t(10) << 30);
        std::memset(huge.data(), 1, huge.size());
        return outcome(QStringLiteral("allocating 10 GB"), 0);
    } else if (action == "write") {
        const int fd = open(argument.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0) {
            (void)!write(fd, "x", 1);
            close(fd);
        }
        return outcome(QStringLiteral("writing a file"), fd);
    } else if (action == "socket") {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        if (fd >= 0)
            close(fd);
        return outcome(QStringLiteral("opening a socket"), fd);
    } else if (action == "exec") {
        // Start a program that would leave a mark if it ran.
        pid_t pid = -1;
        const QByteArray script = "echo ran > " + argument;
        char *argv[] = {const_cast<char *>("/bin/sh"), const_cast<char *>("-c"),
                        const_cast<char *>(script.constData()), nullptr};
        const int rc = posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv, environ);
        errno = rc;
        const pid_t forked = rc == 0 ? pid : fork();
        if (forked == 0)
            _exit(0);
        return outcome(QStringLiteral("starting a program"), rc == 0 || forked > 0 ? 0 : -1);
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char **argv)
{
    return lumora::loader::runWorker(
        argc, argv, {"lumora-loader-test", lumora::loader::generalCodecs(), &misbehave});
}
