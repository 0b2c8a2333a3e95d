// Deletes a leaving host's row and all its PBU rows.
#pragma once

#include "framework/RecordSet.h"
#include "host/HostObservers.h"

namespace tarvo {

class DataGridHostRemover : public HostRemover {
public:
    // checkedPbuCount is the console's counter of checked PBU rows; it drops by one for
    // each checked PBU row deleted here. Nothing is owned.
    DataGridHostRemover(RecordSet& hostTable, RecordSet& pbuTable, int& checkedPbuCount)
        : hostTable_(hostTable), pbuTable_(pbuTable), checkedPbuCount_(checkedPbuCount)
    {
    }

    // Deletes the row whose ChannelIP is the host's (the cursor then stands on the row that
    // followed it, which the delete walks rely on) and every PBU row whose HostIp is the
    // host's. The PBU grid keeps its current row when that row survives. The checked-host
    // counter is left to the caller.
    void update(HostSubject& host) override;

private:
    RecordSet& hostTable_;
    RecordSet& pbuTable_;
    int& checkedPbuCount_;
};

} // namespace tarvo
