#pragma once

class QString;

// A warning that does not hold anything up: the program goes on while the
// box is open.
void showWarning(const QString &message);
