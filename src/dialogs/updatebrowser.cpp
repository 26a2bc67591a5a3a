#include "updatebrowser.h"

#include "pagefetcher.h"
#include "pagetitle.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibrary>
#include <QTimer>

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

// The fetcher comes from a module beside the program; without it there is no
// check, which the update steps take as a server that does not answer.
std::unique_ptr<PageFetcher> loadPageFetcher()
{
    QLibrary module(
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("marglet_network")));
    const auto create = reinterpret_cast<CreatePageFetcher>(module.resolve(kCreatePageFetcher));
    if (!create) {
        qWarning("marglet: no update check: %s", qUtf8Printable(module.errorString()));
        return nullptr;
    }
    // The module stays loaded: QLibrary unloads only when asked to.
    return std::unique_ptr<PageFetcher>(create());
}

} // namespace

UpdateBrowser::UpdateBrowser(QObject *parent) : QObject(parent) {}

UpdateBrowser::~UpdateBrowser() = default;

void UpdateBrowser::Navigate(const QUrl &url)
{
    if (m_fetcher)
        m_fetcher->abandon();
    m_title.clear();
    if (!m_fetcher)
        m_fetcher = loadPageFetcher();
    m_loading = true;
    if (!m_fetcher) {
        QTimer::singleShot(0, this, [this] { conclude(FetchedPage()); });
        return;
    }
    m_fetcher->fetch(url, kMaxPageBytes, kMaxRedirects,
                     [this](const FetchedPage &page) { conclude(page); });
}

void UpdateBrowser::conclude(const FetchedPage &page)
{
    m_loading = false;
    const ContentType type = parseContentType(page.contentType);
    if (page.answered && isHtml(type, page.body))
        m_title = pageTitle(page.body, type.charset);
    Q_EMIT DocumentComplete();
}
