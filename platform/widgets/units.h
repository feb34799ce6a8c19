#pragma once
// Twips (1440 to the inch; 15 to a pixel at 96 dpi) and pixels at the
// screen's logical DPI.

namespace platform {

double twipsPerPixelX();
double twipsPerPixelY();
int twipsToPixelsX(double twips);
int twipsToPixelsY(double twips);
double pixelsToTwipsX(int px);
double pixelsToTwipsY(int px);

}  // namespace platform
