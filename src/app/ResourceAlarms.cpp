// Counting each host's usages against the alert rules.
#include "app/ResourceAlarms.h"

#include "display/UsageRules.h"
#include "host/HostSubject.h"
#include "host/HostSubjectPool.h"

#include <algorithm>

namespace tarvo {

class ResourceAlarms::Watch : public HostObserver
{
public:
    explicit Watch(ResourceAlarms &alarms) : alarms(alarms) {}
    void update(HostSubject &host) override
    {
        const std::string &state = host.getHostStatus();
        if (state == "未知" || state == "停止")
            return;
        const unsigned period = unsigned(std::max(1, alarms.pollPeriodMs()));
        auto &count = alarms.counts[host.getChannelIP()];
        for (size_t i = 0; i < usageRules().size(); ++i) {
            const UsageRule &rule = usageRules()[i];
            const std::string &usage = (host.*rule.usage)();
            if (!countThreshold(count[i], usage, rule.limit, rule.inclusive, period))
                continue;
            AlarmEvent event;
            event.kind = AlarmEvent::Kind::ResourceAlert;
            event.channelIP = host.getChannelIP();
            event.hostName = host.getHostName();
            event.state = usage + "%";
            event.text = "报盘机[Ip:" + host.getChannelIP() + "]" + rule.alert;
            alarms.raise(event);
        }
    }

private:
    ResourceAlarms &alarms;
};

ResourceAlarms::ResourceAlarms(HostSubjectPool &pool, std::function<int()> period,
                               std::function<void(const AlarmEvent &)> raiseAlarm)
    : pollPeriodMs(std::move(period)), raise(std::move(raiseAlarm)),
      watch(std::make_unique<Watch>(*this)), everyHost(std::make_unique<HostWatch>(pool, *watch))
{
}

ResourceAlarms::~ResourceAlarms() = default;

} // namespace tarvo
