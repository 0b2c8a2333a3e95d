// The exporter's series family against prometheus::Family: the same scrape text after any run
// of adds, sets and removals, and a series added twice stays until removed twice.
#include "metrics/SeriesFamily.h"

#include <prometheus/counter.h>
#include <prometheus/family.h>
#include <prometheus/gauge.h>
#include <prometheus/registry.h>
#include <prometheus/text_serializer.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <sstream>

namespace tarvo::metrics {
namespace {

// The scrape's lines in order: prometheus::Family gives its series in no particular order.
std::vector<std::string> sortedLines(const std::vector<prometheus::MetricFamily> &families)
{
    std::istringstream text(prometheus::TextSerializer().Serialize(families));
    std::vector<std::string> lines;
    for (std::string line; std::getline(text, line);)
        lines.push_back(line);
    std::sort(lines.begin(), lines.end());
    return lines;
}

TEST(SeriesFamily, ScrapesAsPrometheusFamilyAfterRandomAddsAndRemovals)
{
    std::mt19937 random(9464);
    prometheus::Registry registry;
    auto &theirs = prometheus::BuildGauge().Name("tarvo_pbu_state").Help("State code").Register(registry);
    SeriesFamily<prometheus::Gauge> ours("tarvo_pbu_state", "State code");
    std::map<std::string, std::pair<prometheus::Gauge *, prometheus::Gauge *>> live;

    for (int step = 0; step < 2000; ++step) {
        const std::string pbu = "A" + std::to_string(random() % 60);
        const auto found = live.find(pbu);
        if (found != live.end() && random() % 3 == 0) {
            theirs.Remove(found->second.first);
            ours.remove(found->second.second);
            live.erase(found);
        } else {
            const prometheus::Labels labels{{"host", "127.0.0.1"}, {"pbu", pbu}};
            auto &pair = live[pbu];
            if (!pair.first)
                pair = {&theirs.Add(labels), &ours.add(labels)};
            const double value = double(random() % 7) - 1;
            pair.first->Set(value);
            pair.second->Set(value);
        }
        if (step % 97 == 0 || live.empty()) {
            ASSERT_EQ(sortedLines(ours.Collect()), sortedLines(theirs.Collect())) << "step " << step;
        }
    }
    for (auto &[pbu, pair] : live) {
        theirs.Remove(pair.first);
        ours.remove(pair.second);
    }
    EXPECT_TRUE(ours.Collect().empty());  // no HELP or TYPE line for an empty family
    EXPECT_EQ(sortedLines(ours.Collect()), sortedLines(theirs.Collect()));
}

TEST(SeriesFamily, ASeriesAddedTwiceStaysUntilRemovedTwice)
{
    SeriesFamily<prometheus::Counter> family("tarvo_pbu_orders_total", "Orders");
    const prometheus::Labels labels{{"pbu", "A0000000001"}};
    prometheus::Counter &first = family.add(labels);
    prometheus::Counter &second = family.add(labels);
    ASSERT_EQ(&first, &second);
    first.Increment(5);
    family.remove(&first);
    ASSERT_EQ(family.size(), 1u);
    EXPECT_EQ(second.Value(), 5);  // still there for the row that holds it
    family.remove(&second);
    EXPECT_EQ(family.size(), 0u);
    family.remove(&second);  // one that is gone already changes nothing
    EXPECT_EQ(family.size(), 0u);
}

} // namespace
} // namespace tarvo::metrics
