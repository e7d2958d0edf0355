// One many-colour 1920x1080 picture written as an 8-bit palette PNG by our quantizer and writer
// and by Qt (convertToFormat(Format_Indexed8), then save("png") at its highest compression), in
// the same run: time (median and spread of the runs), file size and mean colour error (mean RGB
// distance of each decoded pixel from the original), and our figures as ratios of Qt's.

#include "ScreenshotFile.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

using namespace crashreport;

namespace {

// A desktop-like picture with many colours: smooth gradients, shaded panels, text-like noise.
QImage makePicture()
{
    QImage image(1920, 1080, QImage::Format_RGB32);
    std::mt19937 rng(42);
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            line[x] = qRgb(x * 255 / 1919, y * 255 / 1079, (x + y) * 255 / 2998);
    }
    QPainter painter(&image);
    for (int i = 0; i < 40; ++i) {
        QLinearGradient g(0, 0, 300, 200);
        g.setColorAt(0, QColor::fromHsv(static_cast<int>(rng() % 360), 200, 230));
        g.setColorAt(1, QColor::fromHsv(static_cast<int>(rng() % 360), 120, 90));
        painter.fillRect(static_cast<int>(rng() % 1700), static_cast<int>(rng() % 900), 320, 220, g);
    }
    painter.end();
    for (int i = 0; i < 200000; ++i) {
        const int x = static_cast<int>(rng() % 1920), y = static_cast<int>(rng() % 1080);
        image.setPixel(x, y, qRgb(rng() & 0xFF, rng() & 0xFF, rng() & 0xFF));
    }
    return image;
}

double meanError(const QImage &original, const QImage &decoded)
{
    double sum = 0;
    for (int y = 0; y < original.height(); ++y)
        for (int x = 0; x < original.width(); ++x) {
            const QRgb a = original.pixel(x, y), b = decoded.pixel(x, y);
            const int dr = qRed(a) - qRed(b), dg = qGreen(a) - qGreen(b), db = qBlue(a) - qBlue(b);
            sum += std::sqrt(double(dr * dr + dg * dg + db * db));
        }
    return sum / (double(original.width()) * original.height());
}

struct Figures {
    std::vector<double> ms;
    QByteArray bytes;
    double median() const
    {
        std::vector<double> v = ms;
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    }
    double low() const { return *std::min_element(ms.begin(), ms.end()); }
    double high() const { return *std::max_element(ms.begin(), ms.end()); }
};

template <class F> void timeRun(Figures &f, F &&work)
{
    const auto start = std::chrono::steady_clock::now();
    f.bytes = work();
    f.ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
}

} // namespace

int main(int argc, char **argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    const QImage picture = makePicture();
    TScreenshotImage ours{picture.width(), picture.height(), {}};
    ours.pixels.reserve(static_cast<std::size_t>(picture.width()) * picture.height());
    for (int y = 0; y < picture.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(picture.constScanLine(y));
        for (int x = 0; x < picture.width(); ++x)
            ours.pixels.push_back(line[x] & 0xFFFFFF);
    }

    Figures own, qt;
    for (int i = 0; i < runs; ++i) {
        // Alternate the order so that neither side always runs on a warm cache.
        auto runOwn = [&] {
            timeRun(own, [&] {
                const std::vector<std::uint8_t> png = EncodeScreenshotPng(ours);
                return QByteArray(reinterpret_cast<const char *>(png.data()), static_cast<qsizetype>(png.size()));
            });
        };
        auto runQt = [&] {
            timeRun(qt, [&] {
                QByteArray bytes;
                QBuffer buffer(&bytes);
                buffer.open(QIODevice::WriteOnly);
                picture.convertToFormat(QImage::Format_Indexed8).save(&buffer, "png", 0);
                return bytes;
            });
        };
        if (i % 2) {
            runQt();
            runOwn();
        } else {
            runOwn();
            runQt();
        }
    }

    const double ownError = meanError(picture, QImage::fromData(own.bytes, "PNG"));
    const double qtError = meanError(picture, QImage::fromData(qt.bytes, "PNG"));
    std::printf("1920x1080 many-colour picture, %d runs each\n", runs);
    std::printf("%-28s %9s %9s %9s %10s %8s\n", "", "median ms", "min ms", "max ms", "bytes", "error");
    std::printf("%-28s %9.1f %9.1f %9.1f %10lld %8.2f\n", "octree + own PNG writer", own.median(), own.low(), own.high(),
                static_cast<long long>(own.bytes.size()), ownError);
    std::printf("%-28s %9.1f %9.1f %9.1f %10lld %8.2f\n", "Qt Indexed8 + save(png, 0)", qt.median(), qt.low(), qt.high(),
                static_cast<long long>(qt.bytes.size()), qtError);
    std::printf("ratio own/Qt: time %.2f (target <= 1.00), size %.2f (target <= 1.05)\n", own.median() / qt.median(),
                double(own.bytes.size()) / double(qt.bytes.size()));
    return 0;
}
