// Draws the program's artwork: the metal plate, the switch sheet, the icon and the hand cursor,
// and the plate, the sheet and the icon again at twice the resolution (name@2x.png).
// Deterministic (own PRNG, no fonts), so a re-run gives identical files.
// Usage: MakeArtwork OUTDIR
#include <QColor>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <utility>
#include <vector>

namespace {

struct XorShift {
    std::uint32_t state = 0x9e3779b9u;
    std::uint32_t next()
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
    double unit() { return (next() & 0xffffff) / double(0x1000000); }
};

int clampByte(double v) { return std::clamp(static_cast<int>(std::lround(v)), 0, 255); }

// How the plate looks at one resolution. Grain and brushing are drawn per device pixel, with
// the brushing as long and the bevel as wide on the screen at every resolution.
struct PlateLook {
    int scale;          // device pixels per pixel
    double streakKeep;  // how much of the brushing carries on to the next device pixel
    double streakNoise; // the brushing's new part per device pixel
    std::vector<double> bevel; // lightening of each device-pixel ring from the edge inwards
};

const PlateLook kPlate1x{1, 0.85, 2.2, {70.0, 45.0, 22.0}};
const PlateLook kPlate2x{2, 0.922, 1.62, {76.0, 64.0, 52.0, 40.0, 28.0, 17.0}};

// Fine grey grain with faint horizontal brushing, then a 3 px bevel.
QImage plate(const PlateLook& look)
{
    const int W = 320 * look.scale, H = 64 * look.scale;
    XorShift rng;
    std::vector<double> rows(H);
    for (double& r : rows) r = (rng.unit() - 0.5) * 6.0;
    QImage image(W, H, QImage::Format_RGB32);
    for (int y = 0; y < H; ++y) {
        double streak = 0.0;
        for (int x = 0; x < W; ++x) {
            streak = streak * look.streakKeep + (rng.unit() - 0.5) * look.streakNoise;
            const double grain = (rng.unit() - 0.5) * 10.0;
            const double base = 140.0 + rows[y] + streak + grain - 6.0 * (double(y) / H);
            image.setPixel(x, y, qRgb(clampByte(base), clampByte(base + 1), clampByte(base + 4)));
        }
    }
    auto shade = [&](int x, int y, double amount) {
        const QColor c = QColor::fromRgb(image.pixel(x, y));
        image.setPixel(x, y, qRgb(clampByte(c.red() + amount), clampByte(c.green() + amount), clampByte(c.blue() + amount)));
    };
    for (int d = 0; d < int(look.bevel.size()); ++d) {
        const double strength = look.bevel[d];
        for (int x = d; x < W - d; ++x) {
            shade(x, d, strength);          // top: light
            shade(x, H - 1 - d, -strength); // bottom: dark
        }
        for (int y = d + 1; y < H - d - 1; ++y) {
            shade(d, y, strength);          // left: light
            shade(W - 1 - d, y, -strength); // right: dark
        }
    }
    return image;
}

// One switch on a 48 × 48 cell whose background is `ground`; centre (24, 24).
void drawSwitch(QImage& cell, bool pressed)
{
    QPainter p(&cell);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF c(23.5, 23.5);

    // A dark recess around the bezel, seated in the plate.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 70));
    p.drawEllipse(c + QPointF(0.8, 0.8), 21.8, 21.8);

    // Bezel: a white ring lit from the upper left.
    QLinearGradient ring(c - QPointF(21, 21), c + QPointF(21, 21));
    ring.setColorAt(0.0, QColor(255, 255, 255));
    ring.setColorAt(0.55, QColor(232, 232, 228));
    ring.setColorAt(1.0, QColor(168, 168, 166));
    p.setBrush(ring);
    p.setPen(QPen(QColor(90, 90, 92), 0.8));
    p.drawEllipse(c, 21.0, 21.0);

    // The bezel's inner well.
    QLinearGradient well(c - QPointF(16, 16), c + QPointF(16, 16));
    well.setColorAt(0.0, QColor(150, 150, 150));
    well.setColorAt(1.0, QColor(235, 235, 232));
    p.setBrush(well);
    p.setPen(Qt::NoPen);
    p.drawEllipse(c, 16.5, 16.5);

    const double r = 14.5;
    if (!pressed) {
        // Standing proud: a soft shadow to the lower right, a bright dome.
        for (int i = 4; i >= 1; --i) {
            p.setBrush(QColor(0, 0, 0, 26));
            p.drawEllipse(c + QPointF(1.2 + i * 0.7, 1.2 + i * 0.7), r + i * 0.35, r + i * 0.35);
        }
        QRadialGradient dome(c - QPointF(5, 5), r * 1.6, c - QPointF(6, 6));
        dome.setColorAt(0.0, QColor(255, 255, 255));
        dome.setColorAt(0.55, QColor(246, 246, 243));
        dome.setColorAt(1.0, QColor(196, 196, 192));
        p.setBrush(dome);
        p.setPen(QPen(QColor(120, 120, 118), 0.8));
        p.drawEllipse(c - QPointF(1.0, 1.0), r, r);
        // Highlight.
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 255, 255, 170));
        p.drawEllipse(c - QPointF(6.5, 6.5), 4.0, 2.6);
    } else {
        // Flush in the bezel: no shadow, a flatter and greyer face shaded from inside.
        QRadialGradient face(c + QPointF(2, 2), r * 1.3, c + QPointF(3, 3));
        face.setColorAt(0.0, QColor(236, 236, 232));
        face.setColorAt(0.7, QColor(218, 218, 214));
        face.setColorAt(1.0, QColor(176, 176, 172));
        p.setBrush(face);
        p.setPen(QPen(QColor(110, 110, 108), 0.8));
        p.drawEllipse(c + QPointF(0.5, 0.5), r - 0.5, r - 0.5);
        // Inner shade along the upper left where the bezel overhangs the sunken face.
        QPainterPath rim;
        rim.addEllipse(c + QPointF(0.5, 0.5), r - 0.5, r - 0.5);
        QPainterPath lit;
        lit.addEllipse(c + QPointF(2.3, 2.3), r - 1.5, r - 1.5);
        p.setBrush(QColor(0, 0, 0, 45));
        p.setPen(Qt::NoPen);
        p.drawPath(rim.subtracted(lit));
    }
}

// The released and the pressed switch side by side, each on the plate it sits on in the window
// (its picture box is at (8, 8)). `scale` is the plate's device pixels per pixel; the switch is
// drawn at that resolution, not enlarged.
QImage sheet(const QImage& plateImage, int scale)
{
    const int side = 48 * scale;
    QImage image(2 * side, side, QImage::Format_RGB32);
    const QImage ground = plateImage.copy(8 * scale, 8 * scale, side, side);
    for (int cell = 0; cell < 2; ++cell) {
        QImage part = ground.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        part.setDevicePixelRatio(scale);
        drawSwitch(part, cell == 1);
        part.setDevicePixelRatio(1);
        QPainter p(&image);
        p.drawImage(cell * side, 0, part);
    }
    return image;
}

QImage icon()
{
    QImage big(48, 48, QImage::Format_ARGB32_Premultiplied);
    big.fill(Qt::transparent);
    drawSwitch(big, false);
    return big.scaled(32, 32, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

// The larger icons are drawn straight at their size: smooth scaling differs by a unit here and
// there between processors, painting does not.
QImage icon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    image.setDevicePixelRatio(size / 48.0);
    drawSwitch(image, false);
    image.setDevicePixelRatio(1);
    return image;
}

// A pointing hand, index finger up; '#' outline, '.' fill, ' ' transparent. Tip at (5, 0).
QImage hand()
{
    static const char* rows[32] = {
        "    ##                          ",
        "   #..#                         ",
        "   #..#                         ",
        "   #..#                         ",
        "   #..#                         ",
        "   #..###                       ",
        "   #..#..###                    ",
        "   #..#..#..##                  ",
        "   #..#..#..#.#                 ",
        "####..#..#..#..#                ",
        "#..#.........#.#                ",
        "#...#..........#                ",
        " #..#..........#                ",
        "  #............#                ",
        "  #............#                ",
        "   #...........#                ",
        "   #..........#                 ",
        "    #.........#                 ",
        "    #........#                  ",
        "     #.......#                  ",
        "     #.......#                  ",
        "     #########                  ",
        "                                ",
        "                                ",
        "                                ",
        "                                ",
        "                                ",
        "                                ",
        "                                ",
        "                                ",
        "                                ",
        "                                ",
    };
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            if (rows[y][x] == '#') image.setPixel(x, y, qRgba(0, 0, 0, 255));
            if (rows[y][x] == '.') image.setPixel(x, y, qRgba(255, 255, 255, 255));
        }
    return image;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: MakeArtwork OUTDIR\n");
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    const QImage plate1x = plate(kPlate1x);
    const QImage plate2x = plate(kPlate2x);
    const std::pair<QImage, const char*> files[] = {
        {plate1x, "plate.png"},
        {sheet(plate1x, 1), "switch.png"},
        {icon(), "tarnek.png"},
        {hand(), "hand.png"},
        // For screens of two device pixels per pixel, and the desktop's icon theme.
        {plate2x, "plate@2x.png"},
        {sheet(plate2x, 2), "switch@2x.png"},
        {icon(64), "tarnek@2x.png"},
        {icon(128), "tarnek-128.png"},
    };
    for (const auto& [image, name] : files) {
        if (!image.save(dir + QLatin1Char('/') + QLatin1String(name))) {
            std::fprintf(stderr, "MakeArtwork: cannot write %s to %s\n", name, argv[1]);
            return 1;
        }
    }
    return 0;
}
