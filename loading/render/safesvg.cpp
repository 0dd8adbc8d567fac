// An SVG document made safe to draw: nothing outside it is read. Qt's SVG
// renderer draws an <image> from any file its href names (and waits for
// ever on a pipe); the document is rewritten before it sees it, token by
// token, as Qt reads it (without namespace processing).
#include "picturelimits.h"
#include "render.h"

#include <QBuffer>
#include <QImageReader>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <zlib.h>

namespace render {

namespace {

constexpr int kMaxDepth = 8; // SVG pictures within SVG pictures

// A reference the renderer resolves within the document: a part of it
// ("#id") or data carried in the reference itself.
bool Inside(QStringView reference) {
    reference = reference.trimmed();
    return reference.startsWith(u'#') || reference.startsWith(u"data:");
}

QStringView LocalName(QStringView qualified) {
    return qualified.mid(qualified.lastIndexOf(u':') + 1);
}

// CSS with every url() that leads outside the document made `none` and
// every @import rule taken out. Escapes could spell either in other
// letters: CSS with a backslash is dropped whole.
QString InsideCss(QString css) {
    if (css.contains(u'\\')) return {};
    for (qsizetype at; (at = css.indexOf(u"@import", 0, Qt::CaseInsensitive)) >= 0;) {
        const qsizetype end = css.indexOf(u';', at);
        css.remove(at, end < 0 ? css.size() - at : end + 1 - at);
    }
    qsizetype from = 0;
    for (qsizetype at; (at = css.indexOf(u"url(", from, Qt::CaseInsensitive)) >= 0;) {
        qsizetype open = at + 4;
        while (open < css.size() && css[open].isSpace())
            ++open;
        qsizetype end = open;
        if (open < css.size() && (css[open] == u'"' || css[open] == u'\'')) {
            const qsizetype quote = css.indexOf(css[open], open + 1);
            end = quote < 0 ? css.size() : quote + 1;
        }
        end = css.indexOf(u')', end);
        if (end < 0) end = css.size() - 1;
        QStringView target = QStringView(css).mid(open, end - open).trimmed();
        if (!target.isEmpty() && (target.front() == u'"' || target.front() == u'\''))
            target = target.mid(
                1, target.size() - (target.size() > 1 && target.back() == target.front() ? 2 : 1));
        if (Inside(target)) {
            from = end + 1;
        } else {
            css.replace(at, end + 1 - at, QStringLiteral("none"));
            from = at + 4;
        }
    }
    return css;
}

// A gzip-compressed document inflated, up to the size of the largest file.
QByteArray Inflated(const QByteArray& packed) {
    z_stream stream{};
    if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK) return {};
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.constData()));
    stream.avail_in = uInt(packed.size());
    QByteArray out;
    int status = Z_OK;
    while (status == Z_OK) {
        if (out.size() >= loading::kMaxFileBytes) break;
        const qsizetype at = out.size();
        out.resize(at + qMin<qsizetype>(qMax<qsizetype>(at, 1 << 16), loading::kMaxFileBytes - at));
        stream.next_out = reinterpret_cast<Bytef*>(out.data() + at);
        stream.avail_out = uInt(out.size() - at);
        status = inflate(&stream, Z_NO_FLUSH);
        out.resize(qsizetype(stream.total_out));
    }
    inflateEnd(&stream);
    return status == Z_STREAM_END ? out : QByteArray();
}

QByteArray Rewritten(const QByteArray& document, int depth, QString* error);

// Data within a reference, as the SVG renderer decodes it (the base64 text
// after the last "base64,"): an SVG there is made safe too.
QString InsideData(const QString& reference, int depth) {
    const qsizetype at = reference.lastIndexOf(QLatin1String("base64,"));
    if (at < 0) return reference;
    const QByteArray bytes = QByteArray::fromBase64(reference.mid(at + 7).toLatin1());
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    const QByteArray format = QImageReader::imageFormat(&buffer);
    if (format != "svg" && format != "svgz") return reference;
    QString ignored;
    const QByteArray safe =
        depth < kMaxDepth ? Rewritten(bytes, depth + 1, &ignored) : QByteArray();
    if (safe.isNull()) return {};
    return QStringLiteral("data:image/svg+xml;base64,") + QString::fromLatin1(safe.toBase64());
}

QByteArray Rewritten(const QByteArray& original, int depth, QString* error) {
    const bool packed = original.startsWith("\x1f\x8b");
    const QByteArray document = packed ? Inflated(original) : original;
    if (packed && document.isEmpty()) {
        *error = QStringLiteral("the compressed SVG document is damaged");
        return {};
    }
    QXmlStreamReader in(document);
    in.setNamespaceProcessing(false);
    QByteArray out;
    QXmlStreamWriter writer(&out);
    QStringList open; // the elements' local names, to know a <style> from others
    while (!in.atEnd()) {
        switch (in.readNext()) {
        case QXmlStreamReader::StartDocument:
            writer.writeStartDocument();
            break;
        case QXmlStreamReader::EndDocument:
            writer.writeEndDocument();
            break;
        case QXmlStreamReader::StartElement: {
            writer.writeStartElement(in.qualifiedName().toString());
            for (const QXmlStreamAttribute& attribute : in.attributes()) {
                const QString name = attribute.qualifiedName().toString();
                QString value = attribute.value().toString();
                const QStringView local = LocalName(name);
                if (local.compare(u"href", Qt::CaseInsensitive) == 0) {
                    if (!Inside(value)) continue;
                    if (!value.trimmed().startsWith(u'#')) value = InsideData(value, depth);
                    if (value.isNull()) continue;
                } else if (local.compare(u"style", Qt::CaseInsensitive) == 0 ||
                           value.contains(u"url(", Qt::CaseInsensitive) ||
                           value.contains(u"@import", Qt::CaseInsensitive)) {
                    value = InsideCss(value);
                }
                writer.writeAttribute(name, value);
            }
            open << LocalName(in.qualifiedName()).toString();
            break;
        }
        case QXmlStreamReader::EndElement:
            // The SVG renderer reads no further than the first </svg>.
            if (LocalName(in.qualifiedName()) == u"svg") {
                writer.writeEndDocument();
                return out;
            }
            writer.writeEndElement();
            if (!open.isEmpty()) open.removeLast();
            break;
        case QXmlStreamReader::Characters:
            writer.writeCharacters(!open.isEmpty() &&
                                           open.last().compare(u"style", Qt::CaseInsensitive) == 0
                                       ? InsideCss(in.text().toString())
                                       : in.text().toString());
            break;
        default:
            // The document type (and with it every entity it declares),
            // entities that were not resolved, processing instructions
            // (<?xml-stylesheet?> among them, whose file the SVG renderer
            // would read) and comments: none goes on.
            break;
        }
    }
    if (in.hasError()) {
        *error = QStringLiteral("the SVG document cannot be read (%1)").arg(in.errorString());
        return {};
    }
    return out;
}

} // namespace

QByteArray WithoutOutsideReferences(const QByteArray& svg, QString* error) {
    return Rewritten(svg, 0, error);
}

} // namespace render
