#include "desktop/Icons.h"

#include <QPainter>
#include <QPixmap>

namespace vexa::host::desktop {
namespace {

// A sheet in landscape with two portrait frames side by side, in a square of `size`.
void drawSheet(QPainter& p, int size, const QColor& paper, const QColor& ink, const QColor& frame) {
    p.setRenderHint(QPainter::Antialiasing);
    double s = size / 32.0;
    QRectF sheet(3 * s, 7 * s, 26 * s, 18 * s);
    p.setPen(QPen(ink, 1.2 * s));
    p.setBrush(paper);
    p.drawRect(sheet);
    p.setPen(QPen(frame, 1.5 * s));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(7 * s, 10 * s, 8.5 * s, 12 * s));
    p.drawRect(QRectF(16.5 * s, 10 * s, 8.5 * s, 12 * s));
    // Cut marks outside the frames' outer corners.
    p.setPen(QPen(ink, 1.0 * s));
    for (double x : {7.0, 25.0})
        for (double y : {10.0, 22.0}) {
            double dx = x < 16 ? -1 : 1, dy = y < 16 ? -1 : 1;
            p.drawLine(QPointF((x + dx * 1) * s, y * s), QPointF((x + dx * 3) * s, y * s));
            p.drawLine(QPointF(x * s, (y + dy * 1) * s), QPointF(x * s, (y + dy * 2.5) * s));
        }
}

QIcon drawn(bool app) {
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128}) {
        QPixmap pix(size, size);
        pix.fill(Qt::transparent);
        QPainter p(&pix);
        if (app) {
            p.setRenderHint(QPainter::Antialiasing);
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(0x2a, 0x6f, 0xb8));
            p.drawRoundedRect(QRectF(0.5, 0.5, size - 1, size - 1), size / 6.0, size / 6.0);
            drawSheet(p, size, Qt::white, QColor(0x20, 0x20, 0x20), QColor(0xd0, 0x20, 0x20));
        } else {
            drawSheet(p, size, QColor(0xfa, 0xfa, 0xfa), QColor(0x30, 0x30, 0x30),
                      QColor(0xd0, 0x20, 0x20));
        }
        icon.addPixmap(pix);
    }
    return icon;
}

}  // namespace

QIcon toolIcon() {
    return drawn(false);
}

QIcon appIcon() {
    return drawn(true);
}

}  // namespace vexa::host::desktop
