#include <QObject>
#include <QtPlugin>

class OtherPlugin : public QObject
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "org.qks.marglet.PageFetcher/0.9")
};

#include "otherplugin.moc"
