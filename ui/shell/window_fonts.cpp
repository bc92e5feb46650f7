#include "shell/window_fonts.h"

#include <QFile>
#include <QFontDatabase>
#include <QString>

void loadWindowFonts() {
    if (QFontDatabase::families().contains(QStringLiteral("Tahoma"))) {
        return;
    }
    // Only the regular face: Wine's tahomabd.ttf draws its letters hardly
    // heavier than the regular ones, so bold captions are emboldened from the
    // regular face instead, which reads as bold.
    const QString regular = QStringLiteral("/usr/share/wine/fonts/tahoma.ttf");
    if (QFile::exists(regular)) {
        QFontDatabase::addApplicationFont(regular);
    }
}

QFont tahomaFont(int pixelSize, bool bold) {
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}
