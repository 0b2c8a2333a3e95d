// Keeps the host table in step with the pool: a row per added host, and the grid observer
// attached to it.
#pragma once

#include "framework/RecordSet.h"
#include "host/HostObservers.h"

namespace tarvo {

class DataGridHostAdder : public HostAdder {
public:
    // Neither the table nor the observer is owned; the observer may be null (then nothing is
    // attached).
    DataGridHostAdder(RecordSet& hostTable, HostObserver* gridObserver)
        : hostTable_(hostTable), gridObserver_(gridObserver)
    {
    }

    // Appends the host's row ("未连接", its name and channel IP; nothing else) and attaches
    // the grid observer. The new row becomes the current row.
    void update(HostSubject& host) override;

private:
    RecordSet& hostTable_;
    HostObserver* gridObserver_;
};

} // namespace tarvo
