// The network side of the update check, built as a module of its own so that
// Qt Network and what it pulls in are loaded only when a check starts.
#include "networkfetcher.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QObject>

namespace {

// The page is untrusted: its size is bounded, redirects are few and never
// to a less safe scheme, and no cookies are kept or sent.
class NetworkPageFetcher final : public PageFetcher
{
public:
    ~NetworkPageFetcher() override { abandon(); }

    void fetch(const QUrl &url, qint64 maxBytes, int maxRedirects,
               std::function<void(const FetchedPage &)> done) override
    {
        abandon();
        m_page = {};
        m_maxBytes = maxBytes;
        m_done = std::move(done);

        QNetworkRequest request(url);
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                             QNetworkRequest::NoLessSafeRedirectPolicy);
        request.setMaximumRedirectsAllowed(maxRedirects);
        request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
        request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
        request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                             QNetworkRequest::AlwaysNetwork);
        request.setRawHeader("Accept", "text/html,application/xhtml+xml");

        m_reply = m_manager.get(request);
        QObject::connect(m_reply, &QNetworkReply::readyRead, m_reply, [this] { readArrived(); });
        QObject::connect(m_reply, &QNetworkReply::finished, m_reply, [this] { conclude(false); });
    }

    void abandon() override
    {
        if (!m_reply)
            return;
        QNetworkReply *reply = std::exchange(m_reply, nullptr);
        QObject::disconnect(reply, nullptr, nullptr, nullptr);
        reply->abort();
        reply->deleteLater();
        m_done = nullptr;
    }

private:
    void readArrived()
    {
        // One byte past the limit tells a page that is too long from one
        // that fits exactly.
        m_page.body += m_reply->read(m_maxBytes - m_page.body.size() + 1);
        if (m_page.body.size() > m_maxBytes)
            conclude(true);
    }

    void conclude(bool cut)
    {
        QNetworkReply *reply = std::exchange(m_reply, nullptr);
        QObject::disconnect(reply, nullptr, nullptr, nullptr);
        if (!cut) {
            m_page.body += reply->read(m_maxBytes - m_page.body.size() + 1);
            cut = m_page.body.size() > m_maxBytes;
        }
        // A page cut short is read as far as it goes, as a browser shows the
        // title of a page that is still arriving.
        if (cut)
            m_page.body.truncate(m_maxBytes);
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        m_page.answered =
            (cut || reply->error() == QNetworkReply::NoError) && status >= 200 && status < 300;
        m_page.contentType = reply->rawHeader("Content-Type");
        if (cut)
            reply->abort();
        reply->deleteLater();

        const auto done = std::exchange(m_done, nullptr);
        const FetchedPage page = std::exchange(m_page, {});
        if (done)
            done(page);
    }

    QNetworkAccessManager m_manager;
    QNetworkReply *m_reply = nullptr;
    qint64 m_maxBytes = 0;
    FetchedPage m_page;
    std::function<void(const FetchedPage &)> m_done;
};

} // namespace

PageFetcher *NetworkFetcherPlugin::createPageFetcher()
{
    return new NetworkPageFetcher;
}
