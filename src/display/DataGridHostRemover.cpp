// A host leaving the pool takes its host row and its PBU rows with it.
#include "display/DataGridHostRemover.h"

#include "host/HostSubject.h"

namespace tarvo {

void DataGridHostRemover::update(HostSubject& host)
{
    const std::string& channelIP = host.getChannelIP();
    if (hostTable_.locate("ChannelIP", channelIP))
        hostTable_.deleteCurrent();

    SuspendGuard batch(pbuTable_);
    RecId operatorRow = pbuTable_.currentRecId();
    const int checkField = pbuTable_.requireField("Checked");
    const int deleted = pbuTable_.deleteWhere("HostIp", channelIP, [&](int row) {
        if (pbuTable_.valueAt(row, checkField) == kTrueText)
            --checkedPbuCount_;
    });
    if (deleted > 0 && pbuTable_.contains(operatorRow))
        pbuTable_.locateRecId(operatorRow);
}

} // namespace tarvo
