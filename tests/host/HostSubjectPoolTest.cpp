// The host pool: byte order of addresses, adders and removers, observers.
#include "host/HostSubjectPool.h"

#include <gtest/gtest.h>

using namespace tarvo;

namespace {

// Records every call with the host's address and whether the pool still finds it.
struct Recorder : HostAdder, HostRemover, HostObserver
{
    explicit Recorder(std::vector<std::string> &log, std::string tag,
                      const HostSubjectPool *pool = nullptr)
        : log(log), tag(std::move(tag)), pool(pool)
    {
    }
    void update(HostSubject &host) override
    {
        std::string entry = tag + ":" + host.getChannelIP();
        if (pool)
            entry += pool->find(host.getChannelIP()) == &host ? "(found)" : "(gone)";
        log.push_back(entry);
    }
    std::vector<std::string> &log;
    std::string tag;
    const HostSubjectPool *pool;
};

std::unique_ptr<HostSubject> host(const std::string &ip, const std::string &name = "h")
{
    return std::make_unique<HostSubject>(name, ip, "10012");
}

} // namespace

TEST(HostSubjectPool, OrdersByBytesAndKeepsTheFirstOfTwoAddresses)
{
    std::vector<std::string> log;
    HostSubjectPool pool;
    Recorder adder1(log, "a1"), adder2(log, "a2");
    pool.addAdder(&adder1);
    pool.addAdder(&adder2);
    for (const char *ip : {"10.0.0.2", "10.0.0.10", "9.0.0.1"}) {
        auto h = host(ip);
        EXPECT_TRUE(pool.add(h));
        EXPECT_EQ(h, nullptr);
    }
    auto twin = host("10.0.0.2", "twin");
    EXPECT_FALSE(pool.add(twin));
    ASSERT_NE(twin, nullptr) << "the caller keeps a refused host";
    EXPECT_EQ(pool.find("10.0.0.2")->getHostName(), "h");

    std::vector<std::string> order;
    for (const auto &[ip, h] : pool)
        order.push_back(ip);
    EXPECT_EQ(order, (std::vector<std::string>{"10.0.0.10", "10.0.0.2", "9.0.0.1"}));
    EXPECT_EQ(log, (std::vector<std::string>{"a1:10.0.0.2", "a2:10.0.0.2", "a1:10.0.0.10",
                                             "a2:10.0.0.10", "a1:9.0.0.1", "a2:9.0.0.1"}));
}

TEST(HostSubjectPool, RemoversAreToldWhileTheHostIsStillThere)
{
    std::vector<std::string> log;
    HostSubjectPool pool;
    Recorder r1(log, "r1", &pool), r2(log, "r2", &pool);
    pool.addRemover(&r1);
    pool.addRemover(&r2);
    auto h = host("10.0.0.5");
    HostSubject *raw = h.get();
    pool.add(h);
    HostSubject stranger("x", "10.0.0.5", "1");
    EXPECT_FALSE(pool.remove(&stranger)) << "identity, not address, decides";
    EXPECT_TRUE(pool.remove(raw));
    EXPECT_EQ(pool.find("10.0.0.5"), nullptr);
    EXPECT_EQ(log, (std::vector<std::string>{"r1:10.0.0.5(found)", "r2:10.0.0.5(found)"}));
    EXPECT_FALSE(pool.remove(raw));
}

TEST(HostSubject, NotifyTellsObserversInAttachOrder)
{
    std::vector<std::string> log;
    Recorder o1(log, "o1"), o2(log, "o2");
    HostSubject h("n", "10.0.0.1", "1");
    h.attach(&o1);
    h.attach(&o2);
    h.attach(&o1);
    h.notify();
    EXPECT_EQ(log, (std::vector<std::string>{"o1:10.0.0.1", "o2:10.0.0.1", "o1:10.0.0.1"}));
}
