// Cuts a rectangle out of an X window dump (the frame buffer file of Xvfb -fbdir, 32 bits a
// pixel, either byte order) and writes it as PNG.
// Usage: XwdToPng IN.xwd OUT.png [X Y WIDTH HEIGHT]
#include <QFile>
#include <QImage>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

std::uint32_t field(const QByteArray& data, int index)
{
    const auto* p = reinterpret_cast<const unsigned char*>(data.constData()) + 4 * index;
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

int fail(const char* why)
{
    std::fprintf(stderr, "XwdToPng: %s\n", why);
    return 1;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 3 && argc != 7) return fail("usage: XwdToPng IN.xwd OUT.png [X Y WIDTH HEIGHT]");
    QFile in(QString::fromLocal8Bit(argv[1]));
    if (!in.open(QIODevice::ReadOnly)) return fail("cannot open the dump");
    const QByteArray data = in.readAll();
    if (data.size() < 100) return fail("not a window dump");
    const std::uint32_t headerSize = field(data, 0), width = field(data, 4), height = field(data, 5);
    const std::uint32_t byteOrder = field(data, 7), bitsPerPixel = field(data, 11), bytesPerLine = field(data, 12);
    const std::uint32_t colours = field(data, 19);
    if (bitsPerPixel != 32) return fail("only 32 bits a pixel");
    const qint64 pixels = qint64(headerSize) + qint64(colours) * 12;
    if (pixels + qint64(bytesPerLine) * height > data.size() || bytesPerLine < width * 4) return fail("truncated dump");

    int x = 0, y = 0, w = int(width), h = int(height);
    if (argc == 7) {
        x = std::atoi(argv[3]);
        y = std::atoi(argv[4]);
        w = std::atoi(argv[5]);
        h = std::atoi(argv[6]);
    }
    if (x < 0 || y < 0 || w <= 0 || h <= 0 || x + w > int(width) || y + h > int(height)) return fail("rectangle off the screen");

    QImage out(w, h, QImage::Format_RGB32);
    for (int row = 0; row < h; ++row) {
        const auto* src = reinterpret_cast<const unsigned char*>(data.constData()) + pixels +
                          qint64(y + row) * bytesPerLine + qint64(x) * 4;
        auto* dst = reinterpret_cast<QRgb*>(out.scanLine(row));
        for (int col = 0; col < w; ++col, src += 4) {
            const std::uint32_t v = byteOrder == 0 ? std::uint32_t(src[0]) | src[1] << 8 | src[2] << 16
                                                   : std::uint32_t(src[3]) | src[2] << 8 | src[1] << 16;
            dst[col] = 0xff000000u | v;
        }
    }
    return out.save(QString::fromLocal8Bit(argv[2])) ? 0 : fail("cannot write the picture");
}
