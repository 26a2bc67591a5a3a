#include "updatebrowser.h"

#include "pagefetcher.h"
#include "pagetitle.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonObject>
#include <QPluginLoader>

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

// The fetcher comes from a plugin beside the program. Its metadata is read
// without loading it, so that a file of another version is never run: its
// types may differ from ours, and calling into it would crash the program.
PageFetcher *loadPageFetcher(const QString &folder, QString &problem)
{
    const QString path = QDir(folder).filePath(UpdateBrowser::moduleFileName());
    const auto cannotRun = [&](const char *text, const QString &detail = {}) {
        problem =
            QCoreApplication::translate("UpdateBrowser", text).arg(QDir::toNativeSeparators(path));
        if (!detail.isEmpty())
            problem += QStringLiteral("\n\n") + detail;
        return nullptr;
    };
    if (!QFileInfo(path).isFile())
        return cannotRun("The update check cannot run: its module \"%1\" is missing.");
    QPluginLoader module(path);
    const QJsonObject meta = module.metaData();
    if (meta.isEmpty())
        return cannotRun("The update check cannot run: its module \"%1\" is damaged or is "
                         "not a module of Marglet.");
    if (meta.value(QLatin1String("IID")).toString() != QLatin1String(MARGLET_PAGEFETCHER_IID))
        return cannotRun("The update check cannot run: its module \"%1\" is from another "
                         "version of Marglet.");
    // The module stays loaded: QPluginLoader unloads only when asked to.
    auto *plugin = qobject_cast<PageFetcherPlugin *>(module.instance());
    if (!plugin)
        return cannotRun("The update check cannot run: its module \"%1\" could not be loaded.",
                         module.errorString());
    return plugin->createPageFetcher();
}

} // namespace

QString UpdateBrowser::moduleFileName()
{
    return QStringLiteral(MARGLET_NETWORK_MODULE);
}

UpdateBrowser::UpdateBrowser() = default;

UpdateBrowser::~UpdateBrowser() = default;

bool UpdateBrowser::Navigate(const QUrl &url)
{
    if (m_fetcher)
        m_fetcher->abandon();
    m_title.clear();
    m_problem.clear();
    if (!m_fetcher)
        m_fetcher.reset(loadPageFetcher(
            m_moduleFolder.isEmpty() ? QCoreApplication::applicationDirPath() : m_moduleFolder,
            m_problem));
    if (!m_fetcher)
        return false;
    m_fetcher->fetch(url, kMaxPageBytes, kMaxRedirects,
                     [this](const FetchedPage &page) { conclude(page); });
    return true;
}

void UpdateBrowser::conclude(const FetchedPage &page)
{
    const ContentType type = parseContentType(page.contentType);
    if (page.answered && isHtml(type, page.body))
        m_title = pageTitle(page.body, type.charset);
}
