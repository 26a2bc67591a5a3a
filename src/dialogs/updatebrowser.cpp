#include "updatebrowser.h"

#include "pagetitle.h"

#include <QNetworkReply>
#include <QNetworkRequest>

namespace {

struct ContentType
{
    QByteArray mimeType;
    QByteArray charset;
};

ContentType parseContentType(const QByteArray &header)
{
    ContentType type;
    const QList<QByteArray> parts = header.split(';');
    type.mimeType = parts.value(0).trimmed().toLower();
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const QByteArray part = parts[i].trimmed();
        if (part.toLower().startsWith("charset="))
            type.charset =
                part.mid(8).trimmed().replace('"', QByteArray()).replace('\'', QByteArray());
    }
    return type;
}

bool isHtml(const ContentType &type, const QByteArray &page)
{
    if (type.mimeType.isEmpty()) {
        // Unlabelled: a browser sniffs; the two tags it would go by suffice here.
        const QByteArray lower = page.toLower();
        return lower.contains("<html") || lower.contains("<title");
    }
    return type.mimeType == "text/html" || type.mimeType == "application/xhtml+xml";
}

} // namespace

UpdateBrowser::UpdateBrowser(QObject *parent) : QObject(parent) {}

UpdateBrowser::~UpdateBrowser()
{
    abandon();
}

void UpdateBrowser::Navigate(const QUrl &url)
{
    abandon();
    m_title.clear();
    m_page.clear();

    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(kMaxRedirects);
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setRawHeader("Accept", "text/html,application/xhtml+xml");

    m_reply = m_manager.get(request);
    connect(m_reply, &QNetworkReply::readyRead, this, &UpdateBrowser::readArrived);
    connect(m_reply, &QNetworkReply::finished, this, [this] { conclude(false); });
}

void UpdateBrowser::readArrived()
{
    // One byte past the limit tells a page that is too long from one that
    // fits exactly.
    m_page += m_reply->read(kMaxPageBytes - m_page.size() + 1);
    if (m_page.size() > kMaxPageBytes)
        conclude(true);
}

void UpdateBrowser::conclude(bool cut)
{
    QNetworkReply *reply = m_reply;
    m_reply = nullptr;
    disconnect(reply, nullptr, this, nullptr);
    if (!cut) {
        m_page += reply->read(kMaxPageBytes - m_page.size() + 1);
        cut = m_page.size() > kMaxPageBytes;
    }
    // A page cut short is read as far as it goes, as a browser shows the
    // title of a page that is still arriving.
    if (cut)
        m_page.truncate(kMaxPageBytes);

    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const bool answered =
        (cut || reply->error() == QNetworkReply::NoError) && status >= 200 && status < 300;
    const ContentType type = parseContentType(reply->rawHeader("Content-Type"));
    if (cut)
        reply->abort();
    reply->deleteLater();

    if (answered && isHtml(type, m_page))
        m_title = pageTitle(m_page, type.charset);
    m_page.clear();
    Q_EMIT DocumentComplete();
}

void UpdateBrowser::abandon()
{
    if (!m_reply)
        return;
    QNetworkReply *reply = m_reply;
    m_reply = nullptr;
    disconnect(reply, nullptr, this, nullptr);
    reply->abort();
    reply->deleteLater();
}
