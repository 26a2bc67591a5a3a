// A datagram socket in the user's runtime folder (which only this user may
// enter), named after the notes folder. A datagram arrives whole or not at
// all, and the kernel tells who sent it, so the bar keeps no connection
// state and nobody can hold it up: one socket, read only when something
// arrives. A bar that was killed leaves its socket behind, dead: a message
// to it fails at once, and the next bar (which holds the lock) replaces it.
#include "handover.h"

#include "diskfile.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QStandardPaths>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("HandOver", text);
}

struct Address
{
    sockaddr_un un = {};
    socklen_t length = 0;
};

std::optional<Address> addressOf(const QString &endpoint)
{
    const QByteArray path = QFile::encodeName(endpoint);
    Address a;
    if (path.isEmpty() || size_t(path.size()) >= sizeof(a.un.sun_path))
        return std::nullopt;
    a.un.sun_family = AF_UNIX;
    std::memcpy(a.un.sun_path, path.constData(), size_t(path.size()));
    a.length = socklen_t(offsetof(sockaddr_un, sun_path) + size_t(path.size()) + 1);
    return a;
}

// Only a socket of this user's is ever written to or replaced.
bool ownSocket(const struct stat &st)
{
    return S_ISSOCK(st.st_mode) && st.st_uid == ::geteuid();
}

} // namespace

QString handover::endpointFor(const QString &dataFolder, QString *why)
{
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (runtime.isEmpty()) {
        if (why)
            *why = tr("this user has no runtime folder");
        return {};
    }
    // Every path to the same folder leads to the same bar.
    QString folder = QFileInfo(dataFolder).canonicalFilePath();
    if (folder.isEmpty())
        folder = QFileInfo(dataFolder).absoluteFilePath();
    const QByteArray hash =
        QCryptographicHash::hash(QFile::encodeName(folder), QCryptographicHash::Sha256).toHex();
    return QDir(runtime).filePath(
        QStringLiteral("marglet-%1.bring").arg(QString::fromLatin1(hash.left(24))));
}

handover::Sent handover::send(const QString &endpoint, QByteArrayView message, QString *why)
{
    const std::optional<Address> to = addressOf(endpoint);
    struct stat st = {};
    if (!to || ::lstat(to->un.sun_path, &st) != 0)
        return Sent::NobodyListens;
    if (!ownSocket(st)) {
        *why = tr("\"%1\" is not this user's socket").arg(endpoint);
        return Sent::Refused;
    }
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *why = diskfile::plainReason(errno);
        return Sent::Refused;
    }
    const ssize_t sent = ::sendto(fd, message.data(), size_t(message.size()), MSG_DONTWAIT,
                                  reinterpret_cast<const sockaddr *>(&to->un), to->length);
    const int error = errno;
    ::close(fd);
    if (sent == message.size())
        return Sent::HandedOver;
    if (error == ECONNREFUSED || error == ENOENT)
        return Sent::NobodyListens; // left by a bar that was killed
    *why = error == EAGAIN ? tr("the bar has more requests waiting than it takes")
                           : diskfile::plainReason(error);
    return Sent::Refused;
}

struct HandOverListener::Channel
{
    int fd = -1;
    dev_t device = 0;
    ino_t inode = 0;
    QByteArray path;
    ~Channel()
    {
        if (fd < 0)
            return;
        ::close(fd);
        // Gone with the bar, unless another has put its own in its place.
        struct stat st = {};
        if (::lstat(path.constData(), &st) == 0 && st.st_dev == device && st.st_ino == inode)
            ::unlink(path.constData());
    }
};

HandOverListener::HandOverListener(QString endpoint, QObject *parent)
    : QObject(parent), m_endpoint(std::move(endpoint))
{
}

HandOverListener::~HandOverListener() = default;

bool HandOverListener::listen(QString *why)
{
    const std::optional<Address> at = addressOf(m_endpoint);
    if (!at) {
        *why = tr("the name \"%1\" is too long for a socket").arg(m_endpoint);
        return false;
    }
    auto channel = std::make_unique<Channel>();
    channel->path = QFile::encodeName(m_endpoint);
    // The lock says this is the only bar on these notes: a socket still
    // there is one a bar that was killed left.
    struct stat st = {};
    if (::lstat(channel->path.constData(), &st) == 0) {
        if (!ownSocket(st)) {
            *why = tr("\"%1\" is in the way and is not this user's socket").arg(m_endpoint);
            return false;
        }
        ::unlink(channel->path.constData());
    }
    channel->fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    [[maybe_unused]] const int on = 1;
    if (channel->fd < 0 ||
#ifdef SO_PASSCRED
        ::setsockopt(channel->fd, SOL_SOCKET, SO_PASSCRED, &on, sizeof on) != 0 ||
#endif
        ::bind(channel->fd, reinterpret_cast<const sockaddr *>(&at->un), at->length) != 0 ||
        ::chmod(channel->path.constData(), 0600) != 0 ||
        ::lstat(channel->path.constData(), &st) != 0) {
        *why = diskfile::plainReason(errno);
        return false;
    }
    channel->device = st.st_dev;
    channel->inode = st.st_ino;
    auto *notifier = new QSocketNotifier(channel->fd, QSocketNotifier::Read, this);
    const int fd = channel->fd;
    connect(notifier, &QSocketNotifier::activated, this, [this, fd, notifier] {
        for (;;) {
            char bytes[handover::kMaxMessage + 1];
            iovec part = {bytes, sizeof bytes};
            msghdr header = {};
            header.msg_iov = &part;
            header.msg_iovlen = 1;
#ifdef SCM_CREDENTIALS
            alignas(cmsghdr) char control[CMSG_SPACE(sizeof(ucred))];
            header.msg_control = control;
            header.msg_controllen = sizeof control;
#endif
            const ssize_t length = ::recvmsg(fd, &header, MSG_DONTWAIT);
            if (length < 0) {
                // A socket that breaks would be ready for ever.
                if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                    notifier->setEnabled(false);
                return;
            }
            // The sender's user as the kernel tells it; the runtime folder
            // already keeps others out where there is no such word.
            bool fromThisUser = true;
#ifdef SCM_CREDENTIALS
            const cmsghdr *c = CMSG_FIRSTHDR(&header);
            ucred sender = {};
            if (c && c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_CREDENTIALS)
                std::memcpy(&sender, CMSG_DATA(c), sizeof sender);
            else
                sender.uid = uid_t(-1);
            fromThisUser = sender.uid == ::geteuid();
#endif
            if (!fromThisUser)
                qWarning("marglet: a request from another user was dropped");
            else if ((header.msg_flags & MSG_TRUNC) || length > handover::kMaxMessage)
                qWarning("marglet: a request too long to be one was dropped");
            else
                take(QByteArrayView(bytes, length));
        }
    });
    m_channel = std::move(channel);
    return true;
}
