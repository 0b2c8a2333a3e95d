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
    bool deleted = false;
    while (pbuTable_.locate("HostIp", channelIP)) {
        if (pbuTable_.asBool("Checked"))
            --checkedPbuCount_;
        pbuTable_.deleteCurrent();
        deleted = true;
    }
    if (deleted && pbuTable_.contains(operatorRow))
        pbuTable_.locateRecId(operatorRow);
}

} // namespace tarvo
