// Flash steps and the cell painters' installation on the two grids.
#include "display/FlashClock.h"

#include <algorithm>
#include <iterator>

namespace tarvo {

FlashClock::FlashClock(QObject* parent) : QObject(parent)
{
    timer_.setInterval(kIntervalMs);
    connect(&timer_, &QTimer::timeout, this, &FlashClock::TimerFlashTimer);
}

void FlashClock::start()
{
    timer_.start();
}

void FlashClock::setGrids(GridView* hostGrid, GridView* pbuGrid)
{
    host_ = {hostGrid, hostGrid ? modelColumnsAt(hostGrid->columns(), kHostFlashPositions)
                                : std::vector<int>{}, {}};
    pbu_ = {pbuGrid, pbuGrid ? modelColumnsAt(pbuGrid->columns(), kPbuFlashPositions)
                             : std::vector<int>{}, {}};
}

void FlashClock::TimerFlashTimer()
{
    flashColour_ = flashColour_ == kWhite ? kYellow : kWhite;
    step(host_);
    step(pbu_);
    emit flashed();
}

void FlashClock::step(Target& target)
{
    // A hidden grid is painted whole when it is shown again, with the colour of that moment.
    if (!target.grid || !target.grid->isVisible()) {
        target.lit.clear();
        return;
    }
    // No other rule gives the flashing columns a background, so one set by the painter is
    // the flash colour. A cell that neither flashes now nor did at the last step looks the
    // same in both phases and keeps what is drawn.
    std::vector<GridCell> now = target.grid->visibleCellsWithBackground(target.columns);
    std::sort(now.begin(), now.end());
    std::vector<GridCell> dirty;
    dirty.reserve(now.size() + target.lit.size());
    std::set_union(now.begin(), now.end(), target.lit.begin(), target.lit.end(),
                   std::back_inserter(dirty));
    target.grid->repaintCells(dirty);
    target.lit = std::move(now);
}

void installCellPainters(GridView& hostGrid, GridView& pbuGrid, const HostSubjectPool& pool,
                         const FlashClock& clock)
{
    const RecordSet& hosts = hostGrid.recordSet();
    const RecordSet& pbus = pbuGrid.recordSet();
    hostGrid.setCellPainter([&hosts, &pool, &clock](const CellPaintRequest& cell) {
        return dxdgHostCustomDrawCell(cell, hosts, pool, clock.flashColour());
    });
    pbuGrid.setCellPainter([&pbus, &pool, &clock](const CellPaintRequest& cell) {
        return dxdgPBUCustomDrawCell(cell, pbus, pool, clock.flashColour());
    });
}

} // namespace tarvo
