// Draws the utility's pictures: the banner, the logo, the about picture, the
// window icon and the Windows icon file, in the greys and the yellow of the
// window. Each picture is drawn twice, for 100 % and, as NAME@2x.png, for
// 200 % display scaling: the same drawing on a canvas of twice the pixels, so
// that lines and letters stay sharp where Qt would otherwise stretch them.
//
// usage: brimo-drawassets ASSETS_DIR

#include <QBuffer>
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QSaveFile>
#include <cstdio>
#include <initializer_list>
#include <utility>

namespace {

const QColor kYellow(255, 255, 0);
const QColor kAmber(255, 204, 0);

QColor grey(int level, int alpha = 255)
{
    return QColor(level, level, level, alpha);
}

QFont wordFont(int pixels, int weight, bool italic = false)
{
    QFont font(QStringLiteral("Verdana"));
    font.setFamilies({QStringLiteral("Verdana"), QStringLiteral("DejaVu Sans")});
    font.setPixelSize(pixels);
    font.setWeight(QFont::Weight(weight));
    font.setItalic(italic);
    return font;
}

// A transparent picture of WIDTH x HEIGHT, drawn on in those units whatever
// its RATIO of pixels to them.
QImage canvas(int width, int height, qreal ratio = 1)
{
    QImage image(qRound(width * ratio), qRound(height * ratio),
                 QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    return image;
}

// A map pin: a drop with a round hole, its tip at (x, y).
QPainterPath pin(qreal x, qreal y, qreal height)
{
    const qreal r = height * 0.36;
    const QPointF centre(x, y - height + r);
    QPainterPath path;
    path.moveTo(x, y);
    path.cubicTo(x - r * 0.35, y - height * 0.35, centre.x() - r, centre.y() + r * 0.55,
                 centre.x() - r, centre.y());
    path.arcTo(QRectF(centre.x() - r, centre.y() - r, 2 * r, 2 * r), 180, -180);
    path.cubicTo(centre.x() + r, centre.y() + r * 0.55, x + r * 0.35, y - height * 0.35, x, y);
    path.closeSubpath();
    QPainterPath hole;
    hole.addEllipse(centre, r * 0.42, r * 0.42);
    return path.subtracted(hole);
}

// Arcs of a signal coming down from a satellite, centred on (x, y).
void signalArcs(QPainter &p, QPointF centre, qreal first, int count, const QColor &colour)
{
    for (int i = 0; i < count; ++i) {
        const qreal r = first + i * first * 0.8;
        QColor c = colour;
        c.setAlpha(230 - i * 60);
        p.setPen(QPen(c, 2.0, Qt::SolidLine, Qt::RoundCap));
        p.drawArc(QRectF(centre.x() - r, centre.y() - r, 2 * r, 2 * r), 30 * 16, 120 * 16);
    }
}

// A road running from the bottom edge to a vanishing point, dashed in yellow.
void road(QPainter &p, QPointF vanish, qreal left, qreal right, qreal bottom)
{
    QPainterPath surface;
    surface.moveTo(left, bottom);
    surface.lineTo(vanish.x() - 2, vanish.y());
    surface.lineTo(vanish.x() + 2, vanish.y());
    surface.lineTo(right, bottom);
    surface.closeSubpath();
    QLinearGradient tarmac(0, vanish.y(), 0, bottom);
    tarmac.setColorAt(0, grey(70));
    tarmac.setColorAt(1, grey(36));
    p.fillPath(surface, tarmac);

    p.setPen(QPen(grey(210), 1.5));
    p.drawLine(QPointF(left + 6, bottom), QPointF(vanish.x() - 1.5, vanish.y()));
    p.drawLine(QPointF(right - 6, bottom), QPointF(vanish.x() + 1.5, vanish.y()));

    const QPointF base((left + right) / 2, bottom);
    for (qreal t = 0.0; t < 0.92; t += 0.16) {
        const qreal t2 = t + 0.08;
        const QPointF a = base + (vanish - base) * t;
        const QPointF b = base + (vanish - base) * t2;
        p.setPen(QPen(kYellow, 4.0 * (1.0 - t) + 0.6, Qt::SolidLine, Qt::FlatCap));
        p.drawLine(a, b);
    }
}

QImage banner(qreal ratio)
{
    const QRect area(0, 0, 553, 65);
    QImage image = canvas(area.width(), area.height(), ratio);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 553, 0);
    sky.setColorAt(0.0, grey(56));
    sky.setColorAt(0.55, grey(88));
    sky.setColorAt(1.0, grey(120));
    p.fillRect(area, sky);

    // Horizon glow behind the road.
    QRadialGradient glow(QPointF(462, 24), 120);
    glow.setColorAt(0, QColor(255, 240, 150, 120));
    glow.setColorAt(1, QColor(255, 240, 150, 0));
    p.fillRect(area, glow);
    p.setPen(QPen(grey(150), 1));
    p.drawLine(QPointF(300, 24), QPointF(553, 24));

    road(p, QPointF(462, 24), 360, 565, 65);
    p.setPen(Qt::NoPen);
    p.setBrush(kYellow);
    p.drawPath(pin(506, 30, 24));
    signalArcs(p, QPointF(506, 14), 9, 3, kYellow);

    p.setPen(grey(230));
    p.setFont(wordFont(15, QFont::Normal));
    p.drawText(QRectF(196, 22, 180, 24), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("update utility"));
    return image;
}

QImage logo(qreal ratio)
{
    QImage image = canvas(166, 50, ratio);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(kYellow);
    p.drawPath(pin(20, 44, 38));
    signalArcs(p, QPointF(20, 14), 0, 0, kYellow);

    QPainterPath word;
    const QFont font = wordFont(34, QFont::Black, true);
    word.addText(QPointF(42, 38), font, QStringLiteral("brimo"));
    p.setPen(QPen(grey(40), 3.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(word);
    p.setPen(Qt::NoPen);
    p.setBrush(kYellow);
    p.drawPath(word);
    // A road mark under the word.
    p.setBrush(grey(230));
    for (int x = 46; x < 160; x += 18)
        p.drawRect(QRectF(x, 44, 10, 3));
    return image;
}

// The device's screen: a map with the route and the position arrow.
void deviceScreen(QPainter &p, const QRectF &screen)
{
    p.setPen(QPen(grey(20), 2));
    p.setBrush(QColor(214, 222, 200));
    p.drawRoundedRect(screen, 3, 3);
    p.save();
    p.setClipRect(screen.adjusted(1, 1, -1, -1));
    p.setPen(QPen(grey(250), 7, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(screen.topLeft() + QPointF(0, 40), screen.topRight() + QPointF(0, 12));
    QPainterPath route;
    route.moveTo(screen.left() + 20, screen.bottom() + 4);
    route.cubicTo(screen.left() + 30, screen.top() + 40, screen.right() - 40, screen.bottom() - 10,
                  screen.right() - 18, screen.top() - 4);
    p.setPen(QPen(grey(120), 9, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(route);
    p.setPen(QPen(kAmber, 4, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(route);
    p.restore();

    const QPointF at(screen.left() + 44, screen.top() + 44);
    QPolygonF arrow(
        {at + QPointF(0, -9), at + QPointF(7, 8), at + QPointF(0, 4), at + QPointF(-7, 8)});
    p.setPen(QPen(grey(20), 1.5));
    p.setBrush(kYellow);
    p.drawPolygon(arrow);
}

QImage aboutPicture(qreal ratio)
{
    const QRect area(0, 0, 192, 139);
    QImage image = canvas(area.width(), area.height(), ratio);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient back(0, 0, 0, 139);
    back.setColorAt(0, grey(112));
    back.setColorAt(1, grey(72));
    p.fillRect(area, back);
    road(p, QPointF(96, 70), -40, 232, 139);

    // Antenna and body of the unit.
    p.setPen(Qt::NoPen);
    p.setBrush(grey(30));
    p.drawRoundedRect(QRectF(132, 14, 9, 18), 3, 3);
    QLinearGradient shell(0, 20, 0, 118);
    shell.setColorAt(0, grey(78));
    shell.setColorAt(1, grey(34));
    p.setPen(QPen(grey(20), 1.5));
    p.setBrush(shell);
    p.drawRoundedRect(QRectF(34, 22, 124, 92), 12, 12);
    deviceScreen(p, QRectF(46, 32, 86, 64));

    // The mode switch on the side, set to D/L.
    p.setPen(QPen(grey(20), 1));
    p.setBrush(grey(150));
    p.drawRoundedRect(QRectF(139, 40, 10, 40), 3, 3);
    p.setBrush(kYellow);
    p.drawRoundedRect(QRectF(140, 54, 8, 12), 2, 2);
    p.setPen(grey(235));
    p.setFont(wordFont(9, QFont::Bold));
    p.drawText(QRectF(46, 99, 86, 12), Qt::AlignCenter, QStringLiteral("BRIMO"));
    signalArcs(p, QPointF(136, 16), 5, 3, kYellow);
    return image;
}

QImage icon(int size)
{
    QImage image = canvas(size, size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);
    QLinearGradient back(0, 0, 0, 64);
    back.setColorAt(0, grey(112));
    back.setColorAt(1, grey(56));
    p.setPen(Qt::NoPen);
    p.setBrush(back);
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 10, 10);
    p.save();
    QPainterPath clip;
    clip.addRoundedRect(QRectF(2, 2, 60, 60), 10, 10);
    p.setClipPath(clip);
    road(p, QPointF(32, 30), 0, 64, 64);
    p.restore();
    p.setPen(QPen(grey(30), 1.5));
    p.setBrush(kYellow);
    p.drawPath(pin(32, 40, 34));
    return image;
}

// The window icon: 256 pixels, drawn anew at each ratio like the rest.
QImage windowIcon(qreal ratio)
{
    return icon(qRound(256 * ratio));
}

void appendLittleEndian(QByteArray &bytes, quint32 value, int size)
{
    for (int i = 0; i < size; ++i)
        bytes.append(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// One image of an icon file as Windows reads it everywhere: a 32-bit bitmap
// with alpha, upside down, twice as high as it is for the mask that follows
// (a set bit is a transparent pixel).
QByteArray iconBitmap(const QImage &drawn)
{
    const QImage image = drawn.convertToFormat(QImage::Format_ARGB32);
    const int size = image.width();
    const int maskRow = (size + 31) / 32 * 4;
    // BITMAPINFOHEADER: its size, width, height, planes, bits, compression,
    // image size, resolution and colours (none).
    const std::pair<int, int> fields[] = {{40, 4},
                                          {size, 4},
                                          {2 * size, 4},
                                          {1, 2},
                                          {32, 2},
                                          {0, 4},
                                          {size * size * 4 + maskRow * size, 4},
                                          {0, 4},
                                          {0, 4},
                                          {0, 4},
                                          {0, 4}};
    QByteArray bytes;
    for (const auto &[value, width] : fields)
        appendLittleEndian(bytes, static_cast<quint32>(value), width);
    for (int y = size - 1; y >= 0; --y)
        bytes.append(reinterpret_cast<const char *>(image.constScanLine(y)), size * 4);
    for (int y = size - 1; y >= 0; --y) {
        QByteArray row(maskRow, '\0');
        for (int x = 0; x < size; ++x) {
            if (qAlpha(image.pixel(x, y)) == 0)
                row[x / 8] = static_cast<char>(row[x / 8] | (0x80 >> (x % 8)));
        }
        bytes.append(row);
    }
    return bytes;
}

QByteArray pngBytes(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// The program's icon for Windows, each size drawn anew rather than scaled:
// 16 to 64 pixels as bitmaps, 256 pixels (Explorer's large views, 150 % and
// more) as PNG, as Windows expects.
QByteArray iconFile()
{
    const std::initializer_list<int> sizes = {16, 20, 24, 32, 40, 48, 64, 256};
    QByteArray header, images;
    for (const int value : {0, 1, int(sizes.size())})
        appendLittleEndian(header, static_cast<quint32>(value), 2);
    int offset = 6 + 16 * int(sizes.size());
    for (const int size : sizes) {
        const QByteArray image = size == 256 ? pngBytes(icon(size)) : iconBitmap(icon(size));
        header.append(static_cast<char>(size % 256)).append(static_cast<char>(size % 256));
        header.append(2, '\0');
        appendLittleEndian(header, 1, 2);
        appendLittleEndian(header, 32, 2);
        appendLittleEndian(header, static_cast<quint32>(image.size()), 4);
        appendLittleEndian(header, static_cast<quint32>(offset), 4);
        offset += int(image.size());
        images.append(image);
    }
    return header + images;
}

bool saveIconFile(const QDir &dir, const QString &name)
{
    QSaveFile file(dir.filePath(name));
    if (file.open(QIODevice::WriteOnly) && file.write(iconFile()) >= 0 && file.commit())
        return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(file.fileName()));
    return false;
}

bool save(const QImage &image, const QDir &dir, const QString &name)
{
    const QString path = dir.filePath(name);
    if (image.save(path))
        return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: brimo-drawassets ASSETS_DIR\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    const std::pair<const char *, QImage (*)(qreal)> pictures[] = {
        {"banner", banner}, {"logo", logo}, {"about", aboutPicture}, {"icon", windowIcon}};
    bool ok = saveIconFile(dir, QStringLiteral("brimo-update.ico"));
    for (const auto &[name, draw] : pictures) {
        ok = ok && save(draw(1), dir, QStringLiteral("%1.png").arg(QLatin1String(name))) &&
             save(draw(2), dir, QStringLiteral("%1@2x.png").arg(QLatin1String(name)));
    }
    return ok ? 0 : 1;
}
