// SPDX-License-Identifier: GPL-3.0-or-later
// Writes what the X display shows as a PNG file, for the screenshots of the package's first
// run: dtscreengrab FILE.png (the display from $DISPLAY).
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: dtscreengrab FILE.png\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen || !screen->grabWindow(0).save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "dtscreengrab: cannot grab the screen into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
