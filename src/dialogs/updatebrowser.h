#pragma once

#include <QString>
#include <QUrl>

#include <memory>

class PageFetcher;
struct FetchedPage;

// The little of a web browser the update check needs: fetch one page and
// tell its title. The page is untrusted, so only its title is ever used,
// its size is bounded, redirects are few and never to a less safe scheme,
// and no cookies are kept or sent.
class UpdateBrowser
{
public:
    static constexpr qint64 kMaxPageBytes = 1024 * 1024;
    static constexpr int kMaxRedirects = 5;
    // The network module's file, looked for in the module folder.
    static QString moduleFileName();

    UpdateBrowser();
    ~UpdateBrowser();

    // Where the module is looked for; empty, the default, is the program folder.
    void setModuleFolder(const QString &folder) { m_moduleFolder = folder; }

    // Starts loading and returns at once; a page still loading is abandoned.
    // Returns false, with the reason in ModuleProblem(), when the module that
    // fetches pages cannot be used.
    bool Navigate(const QUrl &url);

    // The title of the page once it has arrived whole, or of its first
    // kMaxPageBytes. Empty while loading and for anything that is not an
    // HTML page answered with success.
    QString LocationName() const { return m_title; }

    // Why the last Navigate could not start, in words for the user.
    QString ModuleProblem() const { return m_problem; }

private:
    void conclude(const FetchedPage &page);

    QString m_moduleFolder;
    std::unique_ptr<PageFetcher> m_fetcher;
    QString m_title;
    QString m_problem;
};
