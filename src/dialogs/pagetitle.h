#pragma once

#include <QByteArrayView>
#include <QString>

// The title of an HTML page as a browser shows it in its title bar: the text
// of the first <title> element, character references decoded, runs of white
// space made one space and the ends trimmed. Comments and the contents of
// script-like elements are passed over, as a browser does not read a title
// there. `charset` is the one the server named, if any; without it the
// page's own <meta> declaration decides, and UTF-8 when it has none.
QString pageTitle(QByteArrayView html, QByteArrayView charset = {});
