#pragma once

#include <QObject>

// Turns the requests to end that arrive as signals (SIGTERM, SIGINT, SIGHUP)
// into a Qt signal on the event loop, where the notes can be saved safely.
class QuitSignals : public QObject
{
    Q_OBJECT
public:
    explicit QuitSignals(QObject *parent = nullptr);
    ~QuitSignals() override;

Q_SIGNALS:
    void quitRequested(int signalNumber);
};
