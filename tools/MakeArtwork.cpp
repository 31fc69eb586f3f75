// Draws the desktop application's pictures into res/images: the nine toolbar tiles (36 x 36
// pixels, with @2x versions for high-density screens), the application icon and the splash
// picture. Everything is drawn here from shapes, so the pictures are the project's own.
//
//     velomire-make-artwork RES_IMAGES_DIR
//
// Runs without a display (offscreen platform); the PNGs it writes are committed.

#include <QColor>
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRadialGradient>

#include <cmath>
#include <cstdio>
#include <functional>

namespace {

// One palette for every picture: the list's blue and yellow, paper, a warm folder colour.
const QColor ink(0x22, 0x30, 0x4a);
const QColor blue(0x1f, 0x4e, 0xb4);
const QColor lightBlue(0x6f, 0x9c, 0xe8);
const QColor yellow(0xff, 0xd8, 0x1f);
const QColor paper(0xfb, 0xfb, 0xf8);
const QColor paperEdge(0x7a, 0x86, 0x99);
const QColor folder(0xf0, 0xb4, 0x3c);
const QColor folderDark(0xc7, 0x87, 0x1e);
const QColor green(0x2e, 0x9b, 0x48);

using Drawing = std::function<void(QPainter&)>;

QPen Pen(const QColor& c, double width) {
    return QPen(c, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// A wave of `cycles` periods across the rectangle, its amplitude fading toward the right like a
// decaying note.
QPainterPath Wave(const QRectF& r, double cycles, double decay) {
    QPainterPath path;
    const int steps = 120;
    for (int i = 0; i <= steps; ++i) {
        const double t = static_cast<double>(i) / steps;
        const double envelope = std::exp(-decay * t);
        const double y =
            r.center().y() - std::sin(t * cycles * 2 * M_PI) * envelope * r.height() / 2;
        const QPointF p(r.left() + t * r.width(), y);
        if (i == 0) {
            path.moveTo(p);
        } else {
            path.lineTo(p);
        }
    }
    return path;
}

// The sample card: a small blue screen with a yellow waveform, the motif of a sample.
void SampleCard(QPainter& p, const QRectF& r) {
    p.setPen(Pen(ink, 1.2));
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, lightBlue);
    g.setColorAt(1, blue);
    p.setBrush(g);
    p.drawRoundedRect(r, 2.5, 2.5);
    p.setPen(Pen(yellow, 1.6));
    p.setBrush(Qt::NoBrush);
    p.drawPath(Wave(r.adjusted(2.5, 2.5, -2.5, -2.5), 3.0, 1.6));
}

void Sheet(QPainter& p, const QRectF& r, double fold) {
    QPainterPath sheet;
    sheet.moveTo(r.topLeft());
    sheet.lineTo(r.right() - fold, r.top());
    sheet.lineTo(r.right(), r.top() + fold);
    sheet.lineTo(r.bottomRight());
    sheet.lineTo(r.bottomLeft());
    sheet.closeSubpath();
    p.setPen(Pen(paperEdge, 1.2));
    p.setBrush(paper);
    p.drawPath(sheet);
    QPainterPath corner;
    corner.moveTo(r.right() - fold, r.top());
    corner.lineTo(r.right() - fold, r.top() + fold);
    corner.lineTo(r.right(), r.top() + fold);
    p.setBrush(QColor(0xdd, 0xe2, 0xea));
    p.drawPath(corner);
}

void Folder(QPainter& p, const QRectF& r, bool open) {
    p.setPen(Pen(folderDark, 1.2));
    p.setBrush(folderDark.lighter(115));
    QPainterPath back;
    back.moveTo(r.left(), r.bottom());
    back.lineTo(r.left(), r.top() + 3);
    back.lineTo(r.left() + 2, r.top());
    back.lineTo(r.left() + r.width() * 0.38, r.top());
    back.lineTo(r.left() + r.width() * 0.46, r.top() + 4);
    back.lineTo(r.right(), r.top() + 4);
    back.lineTo(r.right(), r.bottom());
    back.closeSubpath();
    p.drawPath(back);
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, folder.lighter(120));
    g.setColorAt(1, folder);
    p.setBrush(g);
    QPainterPath front;
    if (open) {
        front.moveTo(r.left(), r.bottom());
        front.lineTo(r.left() + 4, r.top() + 10);
        front.lineTo(r.right() + 3, r.top() + 10);
        front.lineTo(r.right(), r.bottom());
    } else {
        front.addRoundedRect(QRectF(r.left(), r.top() + 7, r.width(), r.height() - 7), 1.5, 1.5);
    }
    front.closeSubpath();
    p.drawPath(front);
}

void PlusBadge(QPainter& p, const QPointF& c, double radius) {
    p.setPen(Pen(Qt::white, 1.2));
    p.setBrush(green);
    p.drawEllipse(c, radius, radius);
    p.setPen(Pen(Qt::white, 2.2));
    const double arm = radius * 0.55;
    p.drawLine(QPointF(c.x() - arm, c.y()), QPointF(c.x() + arm, c.y()));
    p.drawLine(QPointF(c.x(), c.y() - arm), QPointF(c.x(), c.y() + arm));
}

void Sparkle(QPainter& p, const QPointF& c, double radius) {
    QPainterPath star;
    for (int i = 0; i < 8; ++i) {
        const double angle = i * M_PI / 4 - M_PI / 2;
        const double rr = (i % 2 == 0) ? radius : radius * 0.38;
        const QPointF pt(c.x() + rr * std::cos(angle), c.y() + rr * std::sin(angle));
        if (i == 0) {
            star.moveTo(pt);
        } else {
            star.lineTo(pt);
        }
    }
    star.closeSubpath();
    p.setPen(Pen(folderDark, 1.0));
    p.setBrush(yellow);
    p.drawPath(star);
}

void NewProgram(QPainter& p) {
    Sheet(p, QRectF(7.5, 4.5, 20, 27), 6);
    p.setPen(Pen(lightBlue, 1.6));
    for (double y : {14.5, 19.0, 23.5}) {
        p.drawLine(QPointF(11, y), QPointF(24, y));
    }
    Sparkle(p, QPointF(26.5, 8.5), 7.5);
}

void OpenProgram(QPainter& p) {
    Sheet(p, QRectF(11.5, 4.5, 16, 18), 5);
    Folder(p, QRectF(4.5, 11.5, 26, 19), true);
}

void OpenSample(QPainter& p) {
    Folder(p, QRectF(4.5, 14.5, 26, 16), false);
    SampleCard(p, QRectF(9.5, 5.5, 22, 15));
}

void AddSamples(QPainter& p) {
    SampleCard(p, QRectF(9.5, 4.5, 21, 14));
    SampleCard(p, QRectF(4.5, 11.5, 21, 14));
    PlusBadge(p, QPointF(26.5, 26.5), 6.5);
}

void SaveProgram(QPainter& p) {
    const QRectF body(5.5, 5.5, 25, 25);
    QPainterPath disk;
    disk.moveTo(body.topLeft());
    disk.lineTo(body.right() - 4, body.top());
    disk.lineTo(body.right(), body.top() + 4);
    disk.lineTo(body.bottomRight());
    disk.lineTo(body.bottomLeft());
    disk.closeSubpath();
    QLinearGradient g(body.topLeft(), body.bottomRight());
    g.setColorAt(0, lightBlue);
    g.setColorAt(1, blue);
    p.setPen(Pen(ink, 1.2));
    p.setBrush(g);
    p.drawPath(disk);
    // Label and shutter.
    p.setBrush(paper);
    p.drawRoundedRect(QRectF(9.5, 5.5, 15, 10), 1, 1);
    p.setPen(Pen(lightBlue, 1.2));
    p.drawLine(QPointF(12, 9), QPointF(22, 9));
    p.drawLine(QPointF(12, 12), QPointF(19, 12));
    p.setPen(Pen(ink, 1.2));
    p.setBrush(QColor(0xc9, 0xd1, 0xdc));
    p.drawRect(QRectF(11.5, 21.5, 13, 9));
    p.setBrush(ink);
    p.drawRect(QRectF(19.5, 23.5, 3, 5));
}

void Send(QPainter& p) {
    // A MIDI DIN socket: five pins on a half circle and the key notch.
    const QPointF c(13.5, 22.5);
    QRadialGradient g(c, 11);
    g.setColorAt(0, QColor(0x55, 0x5f, 0x70));
    g.setColorAt(1, ink);
    p.setPen(Pen(ink, 1.2));
    p.setBrush(g);
    p.drawEllipse(c, 10.5, 10.5);
    p.setBrush(QColor(0x2c, 0x33, 0x40));
    p.setPen(Pen(QColor(0x8a, 0x94, 0xa6), 1.0));
    p.drawEllipse(c, 7.5, 7.5);
    p.setPen(Qt::NoPen);
    p.setBrush(yellow);
    for (int i = 0; i < 5; ++i) {
        const double angle = M_PI + i * M_PI / 4;
        p.drawEllipse(QPointF(c.x() + 4.8 * std::cos(angle), c.y() + 4.8 * std::sin(angle)), 1.3,
                      1.3);
    }
    p.drawRect(QRectF(c.x() - 1, c.y() + 5.0, 2, 2.2));
    // The outgoing arrow.
    QPainterPath arrow;
    arrow.moveTo(17, 12.5);
    arrow.lineTo(24, 12.5);
    arrow.lineTo(24, 7.5);
    arrow.lineTo(32.5, 14.5);
    arrow.lineTo(24, 21.5);
    arrow.lineTo(24, 16.5);
    arrow.lineTo(17, 16.5);
    arrow.closeSubpath();
    p.setPen(Pen(QColor(0x1c, 0x6b, 0x30), 1.0));
    p.setBrush(green);
    p.drawPath(arrow);
}

void HelpContents(QPainter& p) {
    const QPointF c(18, 18);
    QLinearGradient g(QPointF(0, 4), QPointF(0, 32));
    g.setColorAt(0, lightBlue);
    g.setColorAt(1, blue);
    p.setPen(Pen(ink, 1.2));
    p.setBrush(g);
    p.drawEllipse(c, 13.5, 13.5);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    font.setPixelSize(21);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRectF(4, 4, 28, 29), Qt::AlignCenter, QStringLiteral("?"));
}

// A thick arrow bending back to the left (Undo), or mirrored to the right (Redo).
void TurnArrow(QPainter& p, bool back) {
    p.save();
    if (!back) {
        p.translate(36, 0);
        p.scale(-1, 1);
    }
    QPainterPath arc;
    arc.moveTo(29, 29);
    arc.cubicTo(32, 14, 20, 7, 11, 14);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(ink, 7.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(arc);
    QPolygonF head;
    head << QPointF(3, 17) << QPointF(9, 5) << QPointF(17, 19);
    p.setPen(Pen(ink, 1.5));
    p.setBrush(blue);
    p.drawPolygon(head);
    p.setPen(QPen(lightBlue, 4.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(arc);
    p.restore();
}

void Undo(QPainter& p) {
    TurnArrow(p, true);
}

void Redo(QPainter& p) {
    TurnArrow(p, false);
}

QImage Render(int size, double scale, const Drawing& draw) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.scale(scale, scale);
    draw(p);
    return image;
}

// Keyboard keys along the bottom of a rectangle: white keys with the black ones between them.
void Keys(QPainter& p, const QRectF& r, int whiteKeys) {
    const double w = r.width() / whiteKeys;
    p.setPen(Pen(ink, std::max(1.0, w / 14)));
    p.setBrush(paper);
    for (int i = 0; i < whiteKeys; ++i) {
        p.drawRect(QRectF(r.left() + i * w, r.top(), w, r.height()));
    }
    p.setBrush(ink);
    for (int i = 0; i < whiteKeys - 1; ++i) {
        const int inOctave = i % 7;
        if (inOctave == 2 || inOctave == 6) {
            continue; // no black key after E and B
        }
        p.drawRect(QRectF(r.left() + (i + 1) * w - w * 0.3, r.top(), w * 0.6, r.height() * 0.6));
    }
}

void AppIcon(QPainter& p) {
    // 256 x 256 units.
    const QRectF tile(12, 12, 232, 232);
    QLinearGradient g(tile.topLeft(), tile.bottomLeft());
    g.setColorAt(0, QColor(0x2f, 0x6c, 0xe0));
    g.setColorAt(1, QColor(0x0c, 0x2a, 0x8a));
    p.setPen(Pen(ink, 4));
    p.setBrush(g);
    p.drawRoundedRect(tile, 44, 44);
    p.save();
    QPainterPath clip;
    clip.addRoundedRect(tile, 44, 44);
    p.setClipPath(clip);
    p.setPen(Pen(yellow, 11));
    p.setBrush(Qt::NoBrush);
    p.drawPath(Wave(QRectF(36, 44, 184, 104), 3.5, 1.9));
    Keys(p, QRectF(12, 170, 232, 80), 7);
    p.restore();
    p.setPen(Pen(ink, 4));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(tile, 44, 44);
}

QImage Splash() {
    const QSize size(391, 248);
    QImage image(size, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    QLinearGradient g(0, 0, 0, size.height());
    g.setColorAt(0, QColor(0x2a, 0x62, 0xd6));
    g.setColorAt(1, QColor(0x08, 0x1e, 0x6e));
    p.fillRect(image.rect(), g);

    // A faint long wave behind the title.
    QColor faint = yellow;
    faint.setAlpha(50);
    p.setPen(Pen(faint, 3));
    p.drawPath(Wave(QRectF(-10, 40, 420, 120), 6.5, 1.2));

    // The icon, the name and what the program is for.
    p.save();
    p.translate(22, 24);
    p.scale(64.0 / 256, 64.0 / 256);
    AppIcon(p);
    p.restore();

    QFont title(QStringLiteral("DejaVu Sans"));
    title.setBold(true);
    title.setPixelSize(40);
    p.setFont(title);
    p.setPen(Qt::white);
    p.drawText(QRectF(100, 26, 280, 46), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Velomire"));
    QFont version(QStringLiteral("DejaVu Sans"));
    version.setPixelSize(16);
    version.setBold(true);
    p.setFont(version);
    p.setPen(yellow);
    p.drawText(QRectF(102, 70, 280, 22), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Version 98.05"));
    QFont tagline(QStringLiteral("DejaVu Sans"));
    tagline.setPixelSize(13);
    p.setFont(tagline);
    p.setPen(QColor(0xdd, 0xe6, 0xff));
    p.drawText(QRectF(22, 114, 360, 44), Qt::AlignLeft | Qt::AlignTop,
               QStringLiteral("Programs of WAV samples for your hardware sampler,\n"
                              "sent over MIDI System Exclusive."));

    Keys(p, QRectF(0, 176, 391, 72), 23);
    p.setPen(Pen(ink, 2));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(1, 1, 389, 246));
    return image;
}

bool Save(const QImage& image, const QString& path) {
    if (!image.save(path, "PNG", 9)) {
        std::fprintf(stderr, "velomire-make-artwork: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: velomire-make-artwork RES_IMAGES_DIR\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    dir.mkpath(QStringLiteral("toolbar"));

    const struct {
        const char* name;
        void (*draw)(QPainter&);
    } tiles[] = {{"new", NewProgram},         {"open", OpenProgram}, {"open-sample", OpenSample},
                 {"add-samples", AddSamples}, {"save", SaveProgram}, {"send", Send},
                 {"help", HelpContents},      {"undo", Undo},        {"redo", Redo}};
    bool ok = true;
    for (const auto& tile : tiles) {
        const QString base =
            dir.filePath(QStringLiteral("toolbar/") + QString::fromLatin1(tile.name));
        ok &= Save(Render(36, 1.0, tile.draw), base + QStringLiteral(".png"));
        ok &= Save(Render(72, 2.0, tile.draw), base + QStringLiteral("@2x.png"));
    }
    ok &= Save(Render(256, 1.0, AppIcon), dir.filePath(QStringLiteral("velomire.png")));
    ok &= Save(Render(48, 48.0 / 256, AppIcon), dir.filePath(QStringLiteral("velomire-48.png")));
    ok &= Save(Splash(), dir.filePath(QStringLiteral("splash.png")));
    return ok ? 0 : 1;
}
