// TFHostObserver: usage alerts after a minute over the limit, gauge positions, labels and
// graph points of the detail window, at every notification of its host.
#include "display/Fhost.h"

#include "display/UsageRules.h"
#include "host/HostSubject.h"
#include "protocol/Convert.h"

#include <algorithm>
#include <optional>

namespace tarvo {

int gaugeImageTop(int v) { return (100 - v) / 2 + 10; }

TFHostObserver::TFHostObserver(TF_HOST& window) : window_(window) {}

void TFHostObserver::update(HostSubject& host)
{
    HostDetailOwner& owner = window_.owner();
    const unsigned period = unsigned(std::max(1, owner.pollPeriodMs()));
    std::array<int, kResourceCount> values{};

    for (int i = 0; i < kResourceCount; ++i) {
        const UsageRule& rule = usageRules()[size_t(i)];
        const std::string& text = (host.*rule.usage)();
        if (text.empty())
            continue;
        const std::optional<int32_t> v = tryToInt(text);
        if (!v) {
            // Shown as 0 and not counted; one log line until a number comes again.
            if (!badValueLogged_[size_t(i)])
                owner.writeLog("报盘机[Ip:" + host.getChannelIP() + "]的" + rule.name
                                   + "不是数字: " + text,
                               false, false);
            badValueLogged_[size_t(i)] = true;
            continue;
        }
        badValueLogged_[size_t(i)] = false;
        values[size_t(i)] = *v;
        if (countThreshold(host.*rule.counter, text, rule.limit, rule.inclusive, period)) {
            window_.addAlert(owner.timeStamp() + rule.alert);
            owner.writeLog(rule.alert, false, false);
        }
    }

    for (int i = 0; i < kResourceCount; ++i) {
        const int v = values[size_t(i)];
        const auto resource = Resource(i);
        window_.showGauge(resource, gaugeImageTop(v), std::to_string(v) + "%");
        window_.plot(resource, resource == Resource::Cpu ? v + 1 : v);
    }
}

} // namespace tarvo
