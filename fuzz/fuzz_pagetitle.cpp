// The update check reads the title of whatever page the server sends, so
// any page must be read without harm and in bounded time, and the title
// must come out as a browser's title bar would show it.
#include "dialogs/pagetitle.h"

#include <QtGlobal>

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace {

bool isHtmlSpace(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\f' || c == u'\r';
}

// The first byte picks the charset the server named, by its value modulo
// six, so that a seed can start with a digit 0 to 5. The last choice takes
// any label, up to a line feed, from the bytes that follow.
QByteArrayView takeCharset(QByteArrayView &input)
{
    static constexpr QByteArrayView kNamed[] = {"", "utf-8", "windows-1252", "iso-8859-1",
                                                "shift_jis"};
    if (input.isEmpty())
        return {};
    const std::size_t pick = static_cast<unsigned char>(input[0]) % 6;
    input = input.sliced(1);
    if (pick < std::size(kNamed))
        return kNamed[pick];
    const QByteArrayView head = input.first(std::min<qsizetype>(input.size(), 40));
    const qsizetype end = head.indexOf('\n');
    const QByteArrayView label = end < 0 ? head : head.first(end);
    input = input.sliced(end < 0 ? label.size() : end + 1);
    return label;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    QByteArrayView html(data, qsizetype(size));
    const QByteArrayView charset = takeCharset(html);
    const QString title = pageTitle(html, charset);

    if (!title.isEmpty() && (isHtmlSpace(title.front()) || isHtmlSpace(title.back())))
        qFatal("the title was not trimmed");
    if (title.contains(u"  ") || std::any_of(title.begin(), title.end(),
                                             [](QChar c) { return isHtmlSpace(c) && c != u' '; }))
        qFatal("white space in the title was not made single spaces");
    // Every character of the page and of a reference takes at least one byte.
    if (title.size() > html.size())
        qFatal("a page of %lld bytes gave a title of %lld characters", qlonglong(html.size()),
               qlonglong(title.size()));
    return 0;
}
