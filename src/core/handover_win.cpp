// A named pipe of messages, named after the notes folder, the user's session
// and the user, that only this user may open. The system ends it with the
// bar, however the bar ends, so nothing is ever left behind. The bar waits
// on it through an event the event loop watches: nothing runs until a
// second start connects.
#include "handover.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QWinEventNotifier>

#include <windows.h>

#include <sddl.h>

namespace {

// This user's security id as text ("S-1-5-21-..."), or empty.
QString userSid()
{
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
        return {};
    QString sid;
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    QByteArray buffer(qsizetype(size), '\0');
    wchar_t *text = nullptr;
    if (size && ::GetTokenInformation(token, TokenUser, buffer.data(), size, &size) &&
        ::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER *>(buffer.data())->User.Sid, &text)) {
        sid = QString::fromWCharArray(text);
        ::LocalFree(text);
    }
    ::CloseHandle(token);
    return sid;
}

LPCWSTR wide(const QString &text)
{
    return reinterpret_cast<LPCWSTR>(text.utf16());
}

} // namespace

QString handover::endpointFor(const QString &dataFolder, QString *)
{
    // Another session of the same user cannot take the foreground here, and
    // another user may not ask: both are in the name.
    DWORD session = 0;
    ::ProcessIdToSessionId(::GetCurrentProcessId(), &session);
    QString folder = QFileInfo(dataFolder).canonicalFilePath();
    if (folder.isEmpty())
        folder = QFileInfo(dataFolder).absoluteFilePath();
    const QString key = QDir::toNativeSeparators(folder).toLower() + u'\n' + userSid();
    const QByteArray hash =
        QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha256).toHex();
    return QStringLiteral("\\\\.\\pipe\\marglet-%1-%2")
        .arg(session)
        .arg(QString::fromLatin1(hash.left(24)));
}

handover::Sent handover::send(const QString &endpoint, QByteArrayView message, QString *why)
{
    HANDLE pipe = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 2 && pipe == INVALID_HANDLE_VALUE; ++attempt) {
        pipe = ::CreateFileW(wide(endpoint), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
        // Another start is being answered: its turn is short.
        if (pipe == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_PIPE_BUSY)
            ::WaitNamedPipeW(wide(endpoint), 2000);
        else
            break;
    }
    if (pipe == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND)
            return Sent::NobodyListens;
        *why = qt_error_string(int(error));
        return Sent::Refused;
    }
    // The system gives the foreground only to the program the user just
    // started (this one); it passes that right on to the bar.
    ULONG server = 0;
    if (::GetNamedPipeServerProcessId(pipe, &server))
        ::AllowSetForegroundWindow(server);
    DWORD written = 0;
    const bool ok = ::WriteFile(pipe, message.data(), DWORD(message.size()), &written, nullptr) &&
                    written == DWORD(message.size());
    const DWORD error = ::GetLastError();
    ::CloseHandle(pipe);
    if (ok)
        return Sent::HandedOver;
    *why = qt_error_string(int(error));
    return Sent::Refused;
}

struct HandOverListener::Channel
{
    HANDLE pipe = INVALID_HANDLE_VALUE;
    HANDLE event = nullptr;
    OVERLAPPED overlapped = {};
    bool reading = false;
    char bytes[handover::kMaxMessage + 1] = {};
    QWinEventNotifier *notifier = nullptr;
    ~Channel()
    {
        delete notifier;
        if (pipe != INVALID_HANDLE_VALUE) {
            ::CancelIo(pipe);
            ::CloseHandle(pipe);
        }
        if (event)
            ::CloseHandle(event);
    }
};

HandOverListener::HandOverListener(QString endpoint, QObject *parent)
    : QObject(parent), m_endpoint(std::move(endpoint))
{
}

HandOverListener::~HandOverListener() = default;

namespace {

// Waits for the next second start; the event is set when it connects.
bool waitForClient(HANDLE pipe, OVERLAPPED *overlapped)
{
    if (::ConnectNamedPipe(pipe, overlapped))
        return true;
    switch (::GetLastError()) {
    case ERROR_IO_PENDING:
        return true;
    case ERROR_PIPE_CONNECTED: // between creating the pipe and waiting
        ::SetEvent(overlapped->hEvent);
        return true;
    default:
        return false;
    }
}

} // namespace

bool HandOverListener::listen(QString *why)
{
    // Only this user, and nobody over the network.
    const QString sddl = QStringLiteral("D:P(A;;GA;;;%1)").arg(userSid());
    SECURITY_ATTRIBUTES security = {sizeof security, nullptr, FALSE};
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(
            wide(sddl), SDDL_REVISION_1, &security.lpSecurityDescriptor, nullptr)) {
        *why = qt_error_string(int(::GetLastError()));
        return false;
    }
    auto channel = std::make_unique<Channel>();
    channel->pipe = ::CreateNamedPipeW(
        wide(m_endpoint),
        PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
        PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 0,
        DWORD(sizeof channel->bytes), 0, &security);
    const DWORD error = ::GetLastError();
    ::LocalFree(security.lpSecurityDescriptor);
    if (channel->pipe == INVALID_HANDLE_VALUE) {
        *why = qt_error_string(int(error));
        return false;
    }
    channel->event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    channel->overlapped.hEvent = channel->event;
    if (!channel->event || !waitForClient(channel->pipe, &channel->overlapped)) {
        *why = qt_error_string(int(::GetLastError()));
        return false;
    }
    Channel *c = channel.get();
    c->notifier = new QWinEventNotifier(c->event);
    connect(c->notifier, &QWinEventNotifier::activated, this, [this, c] {
        DWORD length = 0;
        const bool done = ::GetOverlappedResult(c->pipe, &c->overlapped, &length, FALSE);
        if (!done && ::GetLastError() == ERROR_IO_INCOMPLETE)
            return;
        if (!c->reading && done) {
            // Connected: read its one message.
            c->reading = true;
            if (::ReadFile(c->pipe, c->bytes, DWORD(sizeof c->bytes), nullptr, &c->overlapped) ||
                ::GetLastError() == ERROR_IO_PENDING || ::GetLastError() == ERROR_MORE_DATA)
                return; // the event tells when it is there
        } else if (c->reading && done) {
            take(QByteArrayView(c->bytes, qsizetype(length)));
        } else if (c->reading && ::GetLastError() == ERROR_MORE_DATA) {
            qWarning("marglet: a request too long to be one was dropped");
        }
        // Ready for the next one.
        c->reading = false;
        ::DisconnectNamedPipe(c->pipe);
        ::ResetEvent(c->event);
        if (!waitForClient(c->pipe, &c->overlapped))
            c->notifier->setEnabled(false);
    });
    m_channel = std::move(channel);
    return true;
}
