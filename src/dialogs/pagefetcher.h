#pragma once

#include <QByteArray>
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

// The module's one entry point, looked up by this name.
using CreatePageFetcher = PageFetcher *(*)();
inline constexpr char kCreatePageFetcher[] = "marglet_createPageFetcher";
