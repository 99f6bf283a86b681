// SPDX-License-Identifier: GPL-3.0-or-later
// The yardstick for tonvero_measure: an empty Qt 6 window, started and shown
// the way the trainer is.
#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Bare Qt window"));
    window.resize(640, 480);
    window.show();
    return app.exec();
}
