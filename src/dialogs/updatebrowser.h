#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>

class PageFetcher;
struct FetchedPage;

// The little of a web browser the update check needs: fetch one page and
// tell its title. The page is untrusted, so only its title is ever used,
// its size is bounded, redirects are few and never to a less safe scheme,
// and no cookies are kept or sent.
class UpdateBrowser : public QObject
{
    Q_OBJECT
public:
    static constexpr qint64 kMaxPageBytes = 1024 * 1024;
    static constexpr int kMaxRedirects = 5;

    explicit UpdateBrowser(QObject *parent = nullptr);
    ~UpdateBrowser() override;

    // Starts loading and returns at once; a page still loading is abandoned.
    void Navigate(const QUrl &url);

    // The title of the page once it has arrived whole, or of its first
    // kMaxPageBytes. Empty while loading and for anything that is not an
    // HTML page answered with success.
    QString LocationName() const { return m_title; }

    bool isLoading() const { return m_loading; }

Q_SIGNALS:
    // Loading has ended, with a title or without one.
    void DocumentComplete();

private:
    void conclude(const FetchedPage &page);

    std::unique_ptr<PageFetcher> m_fetcher;
    bool m_loading = false;
    QString m_title;
};
