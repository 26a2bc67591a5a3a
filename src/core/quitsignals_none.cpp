#include "quitsignals.h"

// Windows ends a program with messages, which Qt turns into the session's
// commit request; there are no signals to catch.
QuitSignals::QuitSignals(QObject *parent) : QObject(parent) {}
QuitSignals::~QuitSignals() = default;
