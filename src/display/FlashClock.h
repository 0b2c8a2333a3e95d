// The flash clock (changed cells alternate white/yellow every 500 ms; only the cells that
// flash, or did at the last step, are repainted) and the cell painters' installation.
#pragma once

#include "display/CellPainters.h"
#include "framework/GridView.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <vector>

namespace tarvo {

class FlashClock : public QObject {
    Q_OBJECT
public:
    static constexpr int kIntervalMs = 500;

    explicit FlashClock(QObject* parent = nullptr);

    // The background of flashing cells now: white at construction.
    Rgb flashColour() const { return flashColour_; }

    // Starts the 500 ms timer that runs TimerFlashTimer; it is never stopped, it ends with
    // the clock. A window that drives the steps from its own timer need not call it.
    void start();
    bool isActive() const { return timer_.isActive(); }
    int intervalMs() const { return timer_.interval(); }

    // Grids whose flashing cells each step repaints (not owned; either may be null, and a
    // grid destroyed before the clock is dropped).
    void setGrids(GridView* hostGrid, GridView* pbuGrid);

    // One flash step: white becomes yellow, anything else white. Then, of the visible cells
    // of the flashing columns, those the painter gives the flash background are repainted,
    // and with them those it gave it at the previous step (their flag may have turned "F"
    // since, without their text changing); then flashed() is emitted.
    void TimerFlashTimer();

signals:
    void flashed();

private:
    struct Target {
        QPointer<GridView> grid;
        std::vector<int> columns;
        std::vector<GridCell> lit;  // cells drawn with the flash background at the last step
    };
    static void step(Target& target);

    QTimer timer_;
    Rgb flashColour_ = kWhite;
    Target host_;
    Target pbu_;
};

// Installs dxdgHostCustomDrawCell and dxdgPBUCustomDrawCell as the grids' paint hooks, over
// the grids' own record sets, the pool and the clock's current colour. The pool and the
// clock must outlive the grids' painting.
void installCellPainters(GridView& hostGrid, GridView& pbuGrid, const HostSubjectPool& pool,
                         const FlashClock& clock);

} // namespace tarvo
