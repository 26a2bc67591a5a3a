#pragma once

#include <QByteArray>
#include <QtPlugin>
#include <QUrl>

#include <functional>

// What fetching one page brought back.
struct FetchedPage
{
    bool answered = false;  // a success status, the page whole or cut at the limit
    QByteArray contentType; // the Content-Type header as the server sent it
    QByteArray body;        // at most the limit asked for
};

// Fetches one page at a time. The implementation lives in a module of its
// own (the network libraries come with it), loaded on the first update
// check, so that starting the bar does not pay for loading them.
class PageFetcher
{
public:
    virtual ~PageFetcher() = default;
    // Starts fetching, abandoning a fetch still running. `done` is called
    // once, later, from the event loop; never for an abandoned fetch.
    virtual void fetch(const QUrl &url, qint64 maxBytes, int maxRedirects,
                       std::function<void(const FetchedPage &)> done) = 0;
    virtual void abandon() = 0;
};

// What the module's plugin object offers.
class PageFetcherPlugin
{
public:
    virtual ~PageFetcherPlugin() = default;
    virtual PageFetcher *createPageFetcher() = 0;
};

// The module and the program must agree on every type above: whoever
// changes one of them raises the version, so that a module left from
// another build is refused instead of called.
#define MARGLET_PAGEFETCHER_IID "org.qks.marglet.PageFetcher/1.0"
Q_DECLARE_INTERFACE(PageFetcherPlugin, MARGLET_PAGEFETCHER_IID)
