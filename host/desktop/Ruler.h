// A ruler along a page view's top or left edge, in the unit the dialogs measure in
// ("DlgUnits"): the current page's coordinates in that unit, numbered at steps that
// stay readable at every zoom, with a mark where the pointer is.
#pragma once

#include <QWidget>

#include <functional>

namespace vexa::host::desktop {

class Ruler : public QWidget {
    Q_OBJECT

  public:
    // Maps a pixel along the ruler (the viewport's x or y) to a page coordinate in
    // points; false when no page is shown.
    using Mapping = std::function<bool(double* origin, double* pointsPerPixel)>;

    Ruler(Qt::Orientation orientation, Mapping mapping, QWidget* parent = nullptr);

    static constexpr int kThickness = 20;

    Qt::Orientation orientation() const { return orientation_; }
    // The unit: 1 pt, 2 in, 3 mm, 4 cm (as "DlgUnits"); the name and points of one.
    void setUnit(int units);
    int unit() const { return unit_; }
    QString unitName() const;
    double unitPoints() const;
    // The pixel along the ruler where the value (in the ruler's unit) stands; NaN
    // without a page.
    double pixelFor(double value) const;
    // The numbered step in the ruler's unit at the current zoom.
    double labelStep() const;
    // The pointer's place along the ruler (-1: none).
    void setPointer(int pixel);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    Qt::Orientation orientation_;
    Mapping mapping_;
    int unit_ = 3;
    int pointer_ = -1;
};

}  // namespace vexa::host::desktop
