#pragma once

class QString;

// Writes one line to the session's log (standard error), where messages
// stay when nobody is there to read a box, or the box was closed unread.
void logMessage(const QString &message);

// A warning that does not hold anything up: the program goes on while the
// box is open.
void showWarning(const QString &message);
