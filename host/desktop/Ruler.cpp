#include "desktop/Ruler.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <limits>

namespace vexa::host::desktop {

namespace {

struct Unit {
    const char* name;
    double points;
};
const Unit kUnits[] = {{"pt", 1}, {"in", 72}, {"mm", 72 / 25.4}, {"cm", 72 / 2.54}};

// Numbers along the ruler stand at least this far apart (pixels).
constexpr double kMinLabelSpacing = 56;

}  // namespace

Ruler::Ruler(Qt::Orientation orientation, Mapping mapping, QWidget* parent)
    : QWidget(parent), orientation_(orientation), mapping_(std::move(mapping)) {
    setObjectName(orientation == Qt::Horizontal ? "RulerTop" : "RulerLeft");
    setAttribute(Qt::WA_OpaquePaintEvent);
    QFont f = font();
    f.setPointSizeF(std::max(6.0, f.pointSizeF() * 0.75));
    setFont(f);
}

void Ruler::setUnit(int units) {
    units = std::clamp(units, 1, 4);
    if (units == unit_) return;
    unit_ = units;
    update();
}

QString Ruler::unitName() const {
    return kUnits[unit_ - 1].name;
}

double Ruler::unitPoints() const {
    return kUnits[unit_ - 1].points;
}

double Ruler::pixelFor(double value) const {
    double origin = 0, perPixel = 0;
    if (!mapping_ || !mapping_(&origin, &perPixel) || perPixel == 0)
        return std::numeric_limits<double>::quiet_NaN();
    return (value * unitPoints() - origin) / perPixel;
}

double Ruler::labelStep() const {
    double origin = 0, perPixel = 0;
    if (!mapping_ || !mapping_(&origin, &perPixel) || perPixel == 0) return 0;
    // Units per pixel, then the smallest 1, 2 or 5 times a power of ten that keeps
    // the numbers apart.
    double unitsPerPixel = std::abs(perPixel) / unitPoints();
    double least = unitsPerPixel * kMinLabelSpacing;
    double power = std::pow(10.0, std::floor(std::log10(least)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * power >= least) return m * power;
    return 10 * power;
}

void Ruler::setPointer(int pixel) {
    if (pixel == pointer_) return;
    pointer_ = pixel;
    update();
}

void Ruler::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QPalette& pal = palette();
    p.fillRect(rect(), pal.color(QPalette::Window));
    const bool across = orientation_ == Qt::Horizontal;
    const int length = across ? width() : height();
    p.setPen(pal.color(QPalette::Mid));
    if (across)
        p.drawLine(0, height() - 1, width(), height() - 1);
    else
        p.drawLine(width() - 1, 0, width() - 1, height());

    double origin = 0, perPixel = 0;
    const double step = labelStep();
    if (step > 0 && mapping_ && mapping_(&origin, &perPixel) && perPixel != 0) {
        // Five or two small ticks between the numbers.
        const double lead = step / std::pow(10.0, std::floor(std::log10(step)));
        const int parts = lead == 2 ? 4 : lead == 5 ? 5 : 10;
        const double tick = step / parts;
        double a = origin / unitPoints(), b = (origin + perPixel * length) / unitPoints();
        if (a > b) std::swap(a, b);
        p.setPen(pal.color(QPalette::WindowText));
        for (long long i = static_cast<long long>(std::floor(a / tick));
             i <= static_cast<long long>(std::ceil(b / tick)); ++i) {
            const double value = static_cast<double>(i) * tick;
            const double px = pixelFor(value);
            if (!std::isfinite(px) || px < -1 || px > length + 1) continue;
            const bool major = i % parts == 0;
            const int size = major                                      ? kThickness - 2
                             : (parts % 2 == 0 && i % (parts / 2) == 0) ? 7
                                                                        : 4;
            const int at = static_cast<int>(std::lround(px));
            if (across)
                p.drawLine(at, kThickness - size, at, kThickness);
            else
                p.drawLine(kThickness - size, at, kThickness, at);
            if (!major) continue;
            const double shown = std::abs(value) < tick / 2 ? 0 : value;
            const QString label = QString::number(shown, 'g', 6);
            if (across) {
                p.drawText(at + 2, 1, 200, kThickness - 4, Qt::AlignLeft | Qt::AlignTop, label);
            } else if (at - 2 - fontMetrics().horizontalAdvance(label) >= 0) {
                // Read from below; a number that would run off the top is left out.
                p.save();
                p.translate(1, at - 2);
                p.rotate(-90);
                p.drawText(0, 0, 200, kThickness - 4, Qt::AlignLeft | Qt::AlignTop, label);
                p.restore();
            }
        }
    }
    if (pointer_ >= 0) {
        p.setPen(QPen(pal.color(QPalette::Highlight), 1));
        if (across)
            p.drawLine(pointer_, 0, pointer_, kThickness);
        else
            p.drawLine(0, pointer_, kThickness, pointer_);
    }
}

}  // namespace vexa::host::desktop
