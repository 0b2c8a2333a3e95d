// A host entering the pool gets its host-table row.
#include "display/DataGridHostAdder.h"

#include "host/HostSubject.h"

namespace tarvo {

void DataGridHostAdder::update(HostSubject& host)
{
    hostTable_.append();
    hostTable_.setValue("Connection", "未连接");
    hostTable_.setValue("hostName", host.getHostName());
    hostTable_.setValue("ChannelIP", host.getChannelIP());
    hostTable_.post();
    if (gridObserver_)
        host.attach(gridObserver_);
}

} // namespace tarvo
