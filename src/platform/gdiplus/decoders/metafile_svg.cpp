#include "metafile_svg.h"

#include "decoder_support.h"

#include <QBuffer>
#include <QHash>
#include <QImage>
#include <QList>
#include <QPainter>
#include <QSvgRenderer>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace tallowin::codec::detail {

namespace {

// Qt paints premultiplied colour; the raster holds straight alpha.
void Unpremultiply(Raster& raster) {
    uint8_t* p = raster.pixels.data();
    uint8_t* const end = p + raster.pixels.size();
    for (; p < end; p += 4) {
        const unsigned alpha = p[3];
        if (alpha == 0 || alpha == 255) continue;
        for (int channel = 0; channel < 3; ++channel) {
            p[channel] = static_cast<uint8_t>(std::min(255u, (p[channel] * 255u + alpha / 2) / alpha));
        }
    }
}

// What libwmf and libemf2svg draw with. Anything else (script, foreignObject, a, switch,
// style, font-face, animation ...) is dropped with everything inside it.
constexpr const char* kDrawingElements[] = {
    "svg", "g", "defs", "desc", "title", "path", "rect", "circle", "ellipse", "line", "polyline", "polygon",
    "text", "tspan", "image", "use", "clipPath", "pattern", "mask", "linearGradient", "radialGradient", "stop",
};

// Far more than the records a metafile within the file-size cap turns into; the work
// of painting grows with it.
constexpr qint64 kMaxSvgElements = 2'000'000;
// A reference (use, clip-path, fill="url(#...)") paints its target's elements once more
// each time; the elements painted through references, all together, stay below this.
constexpr qint64 kMaxReferencedElements = 4'000'000;

const QString kSvgNamespace = QStringLiteral("http://www.w3.org/2000/svg");

bool IsDrawingElement(const QXmlStreamReader& reader) {
    const QStringView uri = reader.namespaceUri();
    if (!uri.isEmpty() && uri != kSvgNamespace) return false;
    const QStringView name = reader.name();
    return std::any_of(std::begin(kDrawingElements), std::end(kDrawingElements),
                       [&](const char* allowed) { return name == QLatin1String(allowed); });
}

// An embedded picture is decoded here by the format its bytes name and handed on as a
// PNG of our own making: Qt picks a data image's reader by its content, and bytes that
// claim to be a picture could otherwise reach a reader that follows references (an
// SVG inside a "PNG"). Empty when the data is not a picture we read.
QString ReencodedDataImage(QStringView href) {
    const qsizetype comma = href.indexOf(QLatin1Char(','));
    if (comma < 0 || !href.left(comma).endsWith(QLatin1String(";base64"), Qt::CaseInsensitive)) return {};
    const QByteArray bytes = QByteArray::fromBase64(href.mid(comma + 1).toLatin1());
    const char* format = nullptr;
    if (bytes.startsWith("\x89PNG\r\n\x1a\n")) format = "PNG";
    else if (bytes.startsWith("\xFF\xD8\xFF")) format = "JPEG";
    else if (bytes.startsWith("BM")) format = "BMP";
    else if (bytes.startsWith("GIF87a") || bytes.startsWith("GIF89a")) format = "GIF";
    if (format == nullptr) return {};
    const QImage picture = QImage::fromData(bytes, format);
    if (picture.isNull()) return {};
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!picture.save(&buffer, "PNG")) return {};
    return QStringLiteral("data:image/png;base64,") + QString::fromLatin1(png.toBase64());
}

// The value an href may keep on this element, or a null string when it must go.
QString SafeReference(QStringView element, QStringView href) {
    const QStringView trimmed = href.trimmed();
    if (trimmed.startsWith(QLatin1Char('#'))) return trimmed.toString();
    if (element == QLatin1String("image") && trimmed.startsWith(QLatin1String("data:"), Qt::CaseInsensitive)) {
        return ReencodedDataImage(trimmed);
    }
    return {};
}

// What a reference to an element costs: how many elements its subtree holds, and
// whether a use inside it could refer on (and, through an ancestor, back to itself).
struct Target {
    qint64 elements = 0;
    bool holdsUse = false;
};

// First pass: every id with the size of its subtree. False when the text is not
// well-formed or too large.
bool CollectTargets(const QByteArray& svg, QHash<QString, Target>& targets) {
    struct Open {
        QString id;
        Target target;
    };
    QList<Open> open;
    qint64 elements = 0;
    QXmlStreamReader reader(svg);
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            if (++elements > kMaxSvgElements) return false;
            Open element;
            element.id = reader.attributes().value(QLatin1String("id")).toString();
            element.target.elements = 1;
            element.target.holdsUse = reader.name() == QLatin1String("use");
            open.append(std::move(element));
        } else if (token == QXmlStreamReader::EndElement && !open.isEmpty()) {
            const Open closed = open.takeLast();
            if (!closed.id.isEmpty()) {
                Target& known = targets[closed.id];  // a repeated id costs its largest
                known.elements = std::max(known.elements, closed.target.elements);
                known.holdsUse = known.holdsUse || closed.target.holdsUse;
            }
            if (!open.isEmpty()) {
                open.last().target.elements += closed.target.elements;
                open.last().target.holdsUse = open.last().target.holdsUse || closed.target.holdsUse;
            }
        }
    }
    return !reader.hasError();
}

// The second pass: copies what may stay and adds up what references will paint.
class SvgCopier {
public:
    SvgCopier(const QHash<QString, Target>& targets, QXmlStreamWriter& writer) : targets_(targets), writer_(writer) {}

    // False when the element's references would paint too much, or a use refers to
    // something holding a use (a chain that may never end).
    bool CopyElementStart(const QXmlStreamReader& reader) {
        writer_.writeStartElement(reader.qualifiedName().toString());
        for (const QXmlStreamNamespaceDeclaration& declaration : reader.namespaceDeclarations()) {
            const QString name = declaration.prefix().isEmpty()
                                     ? QStringLiteral("xmlns")
                                     : QStringLiteral("xmlns:") + declaration.prefix().toString();
            writer_.writeAttribute(name, declaration.namespaceUri().toString());
        }
        const bool isUse = reader.name() == QLatin1String("use");
        for (const QXmlStreamAttribute& attribute : reader.attributes()) {
            // Only the local name counts: href in any namespace (or none) is a reference.
            if (attribute.name() == QLatin1String("href")) {
                const QString kept = SafeReference(reader.name(), attribute.value());
                if (kept.isNull()) continue;
                if (kept.startsWith(QLatin1Char('#')) && !Charge(QStringView(kept).mid(1), isUse)) return false;
                writer_.writeAttribute(attribute.qualifiedName().toString(), kept);
                continue;
            }
            // xml:base and the like change what references mean; event handlers are script.
            if (attribute.prefix() == QLatin1String("xml") || attribute.name().startsWith(QLatin1String("on"))) continue;
            if (!ChargeUrls(attribute.value())) return false;
            writer_.writeAttribute(attribute.qualifiedName().toString(), attribute.value().toString());
        }
        return true;
    }

private:
    bool Charge(QStringView id, bool fromUse) {
        const auto found = targets_.constFind(id.toString());
        if (found == targets_.constEnd()) return true;  // nothing to paint
        if (fromUse && found->holdsUse) return false;
        referenced_ += found->elements;
        return referenced_ <= kMaxReferencedElements;
    }

    // Every "url(#id)" in a presentation attribute or a style.
    bool ChargeUrls(QStringView value) {
        for (qsizetype at = value.indexOf(QLatin1String("url(")); at >= 0; at = value.indexOf(QLatin1String("url("), at + 4)) {
            QStringView rest = value.mid(at + 4).trimmed();
            if (rest.startsWith(QLatin1Char('\'')) || rest.startsWith(QLatin1Char('"'))) rest = rest.mid(1);
            if (!rest.startsWith(QLatin1Char('#'))) continue;
            qsizetype end = 1;
            while (end < rest.size() && rest[end] != QLatin1Char(')') && rest[end] != QLatin1Char('\'') &&
                   rest[end] != QLatin1Char('"') && !rest[end].isSpace()) {
                ++end;
            }
            if (!Charge(rest.mid(1, end - 1), false)) return false;
        }
        return true;
    }

    const QHash<QString, Target>& targets_;
    QXmlStreamWriter& writer_;
    qint64 referenced_ = 0;
};

}  // namespace

bool SanitiseSvg(const QByteArray& svg, QByteArray& clean) {
    clean.clear();
    QHash<QString, Target> targets;
    if (!CollectTargets(svg, targets)) return false;
    QXmlStreamReader reader(svg);
    QXmlStreamWriter writer(&clean);
    SvgCopier copier(targets, writer);
    writer.writeStartDocument();
    qint64 elements = 0;
    int skipDepth = 0;  // > 0 inside an element that is dropped with its content
    bool rootSeen = false;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
            case QXmlStreamReader::StartElement:
                if (++elements > kMaxSvgElements) return false;
                if (skipDepth > 0 || !IsDrawingElement(reader) ||
                    (!rootSeen && reader.name() != QLatin1String("svg"))) {
                    ++skipDepth;
                    break;
                }
                rootSeen = true;
                if (!copier.CopyElementStart(reader)) {
                    clean.clear();
                    return false;
                }
                break;
            case QXmlStreamReader::EndElement:
                if (skipDepth > 0) {
                    --skipDepth;
                } else {
                    writer.writeEndElement();
                }
                break;
            case QXmlStreamReader::Characters:
                if (skipDepth == 0 && rootSeen) writer.writeCharacters(reader.text().toString());
                break;
            default:
                // The declaration, document type, entity references, comments and
                // processing instructions are not copied.
                break;
        }
    }
    if (reader.hasError() || !rootSeen) {
        clean.clear();
        return false;
    }
    writer.writeEndDocument();
    return true;
}

void RenderSize(int32_t width, int32_t height, const DecodeRequest& request, int32_t& outWidth, int32_t& outHeight) {
    outWidth = width;
    outHeight = height;
    if (request.minWidth <= 0 || request.minHeight <= 0) return;
    const double scale = std::max(static_cast<double>(request.minWidth) / width,
                                  static_cast<double>(request.minHeight) / height);
    if (scale >= 1.0) return;
    outWidth = std::clamp(static_cast<int32_t>(std::ceil(width * scale)), 1, width);
    outHeight = std::clamp(static_cast<int32_t>(std::ceil(height * scale)), 1, height);
}

DecodeStatus RenderSvgToRaster(const QByteArray& svg, int32_t width, int32_t height, Raster& out) {
    if (!WithinLimits(width, height)) return DecodeStatus::OverLimit;
    QByteArray clean;
    if (!SanitiseSvg(svg, clean)) return DecodeStatus::NotAnImage;
    QSvgRenderer renderer(clean);
    if (!renderer.isValid()) return DecodeStatus::NotAnImage;

    // Paint straight into the raster's memory: B, G, R, A bytes on little-endian
    // machines are Qt's 32-bit ARGB, so no second full-size copy is needed.
    static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "raster bytes are read as Qt's 32-bit ARGB");
    const DecodeStatus allocated = AllocateRaster(out, width, height);  // zero: transparent
    if (allocated != DecodeStatus::Ok) return allocated;
    {
        QImage canvas(out.pixels.data(), width, height, static_cast<qsizetype>(width) * 4,
                      QImage::Format_ARGB32_Premultiplied);
        if (canvas.isNull()) {
            out = Raster{};
            return DecodeStatus::OutOfMemory;
        }
        QPainter painter(&canvas);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        renderer.render(&painter, QRectF(0, 0, width, height));
    }
    Unpremultiply(out);
    return DecodeStatus::Ok;
}

}  // namespace tallowin::codec::detail
