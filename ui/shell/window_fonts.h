#pragma once

#include <QFont>

// The windows are laid out for Tahoma. Where the system's fonts do not
// provide it, the Tahoma-metric faces with Cyrillic that Debian ships with
// Wine (fonts-wine, /usr/share/wine/fonts) are registered for this process.
// Call once after the application object exists.
void loadWindowFonts();

// Tahoma at a pixel size.
QFont tahomaFont(int pixelSize, bool bold = false);
