#pragma once

#include "pagefetcher.h"

#include <QObject>

// The network module's plugin object, what the program finds in it.
class NetworkFetcherPlugin : public QObject, public PageFetcherPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID MARGLET_PAGEFETCHER_IID)
    Q_INTERFACES(PageFetcherPlugin)
public:
    PageFetcher *createPageFetcher() override;
};
