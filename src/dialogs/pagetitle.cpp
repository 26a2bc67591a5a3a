#include "pagetitle.h"

#include "core/ansicodepage.h"

#include <QByteArray>
#include <QHash>

namespace {

enum class Encoding
{
    Unknown,
    Utf8,
    Windows1252
};

Encoding encodingForLabel(QByteArrayView label)
{
    const QByteArray name = label.trimmed().toByteArray().toLower();
    if (name == "utf-8" || name == "utf8" || name == "unicode-1-1-utf-8")
        return Encoding::Utf8;
    // Browsers read every one of these as Windows-1252.
    static const QByteArray western[] = {"windows-1252", "cp1252",     "x-cp1252",   "iso-8859-1",
                                         "iso8859-1",    "iso_8859-1", "latin1",     "latin-1",
                                         "l1",           "us-ascii",   "ascii",      "cp819",
                                         "ibm819",       "iso-ir-100", "csisolatin1"};
    for (const QByteArray &w : western) {
        if (name == w)
            return Encoding::Windows1252;
    }
    return Encoding::Unknown;
}

bool isAsciiSpace(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\f' || c == u'\r';
}

bool isAsciiAlpha(char16_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

int digitValue(char16_t c, int base)
{
    const int value = c >= u'0' && c <= u'9'   ? c - u'0'
                      : c >= u'a' && c <= u'z' ? c - u'a' + 10
                      : c >= u'A' && c <= u'Z' ? c - u'A' + 10
                                               : base;
    return value < base ? value : -1;
}

// A <meta charset=...> or <meta http-equiv content="...; charset=..."> near
// the start, looked for in the bytes since the text cannot be decoded yet.
Encoding declaredEncoding(QByteArrayView html)
{
    const QByteArray head =
        html.first(std::min<qsizetype>(html.size(), 1024)).toByteArray().toLower();
    qsizetype at = 0;
    while ((at = head.indexOf("<meta", at)) >= 0) {
        const qsizetype end = head.indexOf('>', at);
        const QByteArray tag = head.mid(at, end < 0 ? -1 : end - at);
        at += 5;
        const qsizetype key = tag.indexOf("charset");
        if (key < 0)
            continue;
        qsizetype i = key + 7;
        while (i < tag.size() && (tag[i] == ' ' || tag[i] == '='))
            ++i;
        while (i < tag.size() && (tag[i] == '"' || tag[i] == '\''))
            ++i;
        qsizetype j = i;
        while (j < tag.size() && !isAsciiSpace(char16_t(tag[j])) &&
               QByteArrayView("\"';/>").indexOf(tag[j]) < 0)
            ++j;
        const Encoding found = encodingForLabel(tag.mid(i, j - i));
        if (found != Encoding::Unknown)
            return found;
    }
    return Encoding::Unknown;
}

QString decodePage(QByteArrayView html, QByteArrayView charset)
{
    if (html.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(html.sliced(3));
    Encoding encoding = encodingForLabel(charset);
    if (encoding == Encoding::Unknown)
        encoding = declaredEncoding(html);
    return encoding == Encoding::Windows1252 ? ansi::decode(html) : QString::fromUtf8(html);
}

char32_t numericReference(char32_t value)
{
    if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0xFFFD;
    if (value >= 0x80 && value < 0xA0) // as browsers do, the code page's characters
        return ansi::decode(QByteArray(1, char(value))).at(0).unicode();
    return value;
}

const QHash<QString, char16_t> &namedReferences()
{
    static const QHash<QString, char16_t> names = {
        {QStringLiteral("amp"), u'&'},      {QStringLiteral("lt"), u'<'},
        {QStringLiteral("gt"), u'>'},       {QStringLiteral("quot"), u'"'},
        {QStringLiteral("apos"), u'\''},    {QStringLiteral("nbsp"), 0x00A0},
        {QStringLiteral("copy"), 0x00A9},   {QStringLiteral("reg"), 0x00AE},
        {QStringLiteral("trade"), 0x2122},  {QStringLiteral("hellip"), 0x2026},
        {QStringLiteral("ndash"), 0x2013},  {QStringLiteral("mdash"), 0x2014},
        {QStringLiteral("lsquo"), 0x2018},  {QStringLiteral("rsquo"), 0x2019},
        {QStringLiteral("ldquo"), 0x201C},  {QStringLiteral("rdquo"), 0x201D},
        {QStringLiteral("laquo"), 0x00AB},  {QStringLiteral("raquo"), 0x00BB},
        {QStringLiteral("middot"), 0x00B7}, {QStringLiteral("bull"), 0x2022},
        {QStringLiteral("euro"), 0x20AC},   {QStringLiteral("pound"), 0x00A3},
        {QStringLiteral("yen"), 0x00A5},    {QStringLiteral("cent"), 0x00A2},
        {QStringLiteral("sect"), 0x00A7},   {QStringLiteral("deg"), 0x00B0},
        {QStringLiteral("times"), 0x00D7},  {QStringLiteral("divide"), 0x00F7},
        {QStringLiteral("eacute"), 0x00E9}, {QStringLiteral("egrave"), 0x00E8},
        {QStringLiteral("agrave"), 0x00E0}, {QStringLiteral("auml"), 0x00E4},
        {QStringLiteral("ouml"), 0x00F6},   {QStringLiteral("uuml"), 0x00FC},
        {QStringLiteral("szlig"), 0x00DF},  {QStringLiteral("ccedil"), 0x00E7},
    };
    return names;
}

// Replaces character references; one that is not recognised stays as written.
QString decodeReferences(QStringView text)
{
    QString out;
    out.reserve(text.size());
    qsizetype i = 0;
    while (i < text.size()) {
        const qsizetype amp = text.indexOf(u'&', i);
        if (amp < 0) {
            out += text.sliced(i);
            break;
        }
        out += text.sliced(i, amp - i);
        i = amp + 1;
        if (i < text.size() && text[i] == u'#') {
            const bool hex = i + 1 < text.size() && (text[i + 1] == u'x' || text[i + 1] == u'X');
            qsizetype j = i + (hex ? 2 : 1);
            char32_t value = 0;
            bool any = false;
            for (; j < text.size(); ++j) {
                const int digit = digitValue(text[j].unicode(), hex ? 16 : 10);
                if (digit < 0)
                    break;
                any = true;
                // Clamped, so that a long run of digits cannot wrap round.
                value = std::min<char32_t>(value * (hex ? 16 : 10) + char32_t(digit), 0x110000);
            }
            if (!any) {
                out += u'&';
                continue;
            }
            const char32_t c = numericReference(value);
            out += QStringView(QChar::fromUcs4(c));
            i = j < text.size() && text[j] == u';' ? j + 1 : j;
            continue;
        }
        qsizetype j = i;
        while (j < text.size() && j - i < 10 && digitValue(text[j].unicode(), 36) >= 0)
            ++j;
        const auto found = namedReferences().constFind(text.sliced(i, j - i).toString());
        if (j < text.size() && text[j] == u';' && found != namedReferences().constEnd()) {
            out += QChar(*found);
            i = j + 1;
        } else {
            out += u'&';
        }
    }
    return out;
}

QString collapseSpaces(QStringView text)
{
    QString out;
    out.reserve(text.size());
    bool pendingSpace = false;
    for (const QChar c : text) {
        if (isAsciiSpace(c.unicode())) {
            pendingSpace = !out.isEmpty();
            continue;
        }
        if (pendingSpace)
            out += u' ';
        pendingSpace = false;
        out += c;
    }
    return out;
}

// Where an end tag "</name" closes the text starting at `from`, or -1.
qsizetype endTag(QStringView page, qsizetype from, QStringView name)
{
    qsizetype at = from;
    while ((at = page.indexOf(u"</", at)) >= 0) {
        const qsizetype after = at + 2 + name.size();
        if (page.sliced(at + 2).startsWith(name, Qt::CaseInsensitive) &&
            (after == page.size() || isAsciiSpace(page[after].unicode()) || page[after] == u'/' ||
             page[after] == u'>'))
            return at;
        at += 2;
    }
    return -1;
}

// The '>' that ends the tag whose name ends before `from`; a '>' inside a
// quoted attribute value does not end it.
qsizetype tagEnd(QStringView page, qsizetype from)
{
    for (qsizetype i = from; i < page.size(); ++i) {
        if (page[i] == u'>')
            return i;
        if (page[i] != u'=')
            continue;
        qsizetype j = i + 1;
        while (j < page.size() && isAsciiSpace(page[j].unicode()))
            ++j;
        if (j < page.size() && (page[j] == u'"' || page[j] == u'\'')) {
            const qsizetype close = page.indexOf(page[j], j + 1);
            if (close < 0)
                return -1;
            i = close;
        }
    }
    return -1;
}

} // namespace

QString pageTitle(QByteArrayView html, QByteArrayView charset)
{
    const QString decoded = decodePage(html, charset);
    const QStringView page(decoded);
    static const QStringView rawText[] = {u"script", u"style",   u"textarea", u"xmp",
                                          u"iframe", u"noembed", u"noframes", u"noscript"};
    qsizetype at = 0;
    while ((at = page.indexOf(u'<', at)) >= 0) {
        const QStringView rest = page.sliced(at);
        if (rest.startsWith(u"<!--")) {
            // "<!-->" and "<!--->" are empty comments to a browser.
            qsizetype close = rest.startsWith(u"<!-->") ? 4 : rest.startsWith(u"<!--->") ? 5 : -1;
            if (close < 0) {
                close = page.indexOf(u"-->", at + 4);
                if (close < 0)
                    return {};
                close = close - at + 2;
            }
            at += close + 1;
            continue;
        }
        if (rest.startsWith(u"<!") || rest.startsWith(u"<?") || rest.startsWith(u"</")) {
            // Declarations and end tags hold no title; an end tag that does
            // not start with a letter is a bogus comment, which ends alike.
            const qsizetype close = page.indexOf(u'>', at + 1);
            if (close < 0)
                return {};
            at = close + 1;
            continue;
        }
        if (rest.size() < 2 || !isAsciiAlpha(rest[1].unicode())) {
            ++at;
            continue;
        }
        qsizetype nameEnd = at + 1;
        while (nameEnd < page.size() && !isAsciiSpace(page[nameEnd].unicode()) &&
               page[nameEnd] != u'/' && page[nameEnd] != u'>')
            ++nameEnd;
        const QStringView name = page.sliced(at + 1, nameEnd - at - 1);
        const qsizetype close = tagEnd(page, nameEnd);
        if (close < 0)
            return {};
        if (name.compare(u"plaintext", Qt::CaseInsensitive) == 0)
            return {};
        if (name.compare(u"title", Qt::CaseInsensitive) == 0) {
            // Without an end tag a browser takes the rest of the page.
            const qsizetype end = endTag(page, close + 1, u"title");
            const QStringView text =
                page.sliced(close + 1, (end < 0 ? page.size() : end) - close - 1);
            return collapseSpaces(decodeReferences(text));
        }
        at = close + 1;
        for (const QStringView raw : rawText) {
            if (name.compare(raw, Qt::CaseInsensitive) == 0) {
                at = endTag(page, at, raw);
                if (at < 0)
                    return {};
                break;
            }
        }
    }
    return {};
}
