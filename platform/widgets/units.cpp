#include "units.h"

#include <QGuiApplication>
#include <QScreen>

#include <cmath>

namespace platform {

namespace {
double logicalDpiX()
{
    if (auto *s = QGuiApplication::primaryScreen())
        return s->logicalDotsPerInchX();
    return 96.0;
}
double logicalDpiY()
{
    if (auto *s = QGuiApplication::primaryScreen())
        return s->logicalDotsPerInchY();
    return 96.0;
}
}  // namespace

double twipsPerPixelX() { return 1440.0 / logicalDpiX(); }
double twipsPerPixelY() { return 1440.0 / logicalDpiY(); }
int twipsToPixelsX(double twips) { return int(std::lround(twips / twipsPerPixelX())); }
int twipsToPixelsY(double twips) { return int(std::lround(twips / twipsPerPixelY())); }
double pixelsToTwipsX(int px) { return px * twipsPerPixelX(); }
double pixelsToTwipsY(int px) { return px * twipsPerPixelY(); }

}  // namespace platform
