// The detail window's hardware page and life: usage counters and alerts, gauges, labels and
// graph points, text that is no number, alert list painting, closing, and destruction with
// its host.
#include "HostDetailTestSupport.h"

#include "framework/OwnerDrawList.h"

#include <QCoreApplication>
#include <QEvent>
#include <QImage>
#include <QPainter>
#include <QPointer>
#include <QTabWidget>

#include <cstdlib>

namespace tarvo::test {
namespace {

using Lines = std::vector<std::string>;
using UsageAlerts = DetailWindowTest;
using Gauges = DetailWindowTest;
using DetailWindowLife = DetailWindowTest;

const std::string kCpuAlert = "CPU利用率连续1分钟超过50%";
const std::string kMemoryAlert = "内存占用率连续1分钟超过50%";
const std::string kDiskAlert = "硬盘使用空间连续1分钟大于90%";

TEST_F(UsageAlerts, CpuOverFiftyForTwelveFiveSecondSamplesRaisesOneAlert)
{
    owner.periodMs = 5000;
    for (int i = 0; i < 11; ++i)
        status("51", "", "");
    EXPECT_EQ(host->cpuOverCount, 11);
    EXPECT_TRUE(window->alertLines().empty());
    status("51", "", "");
    EXPECT_EQ(window->alertLines(), (Lines{"2009-06-01 09:05:03 " + kCpuAlert}));
    EXPECT_EQ(owner.logs, (std::vector<LogEntry>{{kCpuAlert, false, false}}));
    EXPECT_EQ(host->cpuOverCount, 0);
    // The count starts again from zero.
    for (int i = 0; i < 11; ++i)
        status("99", "", "");
    EXPECT_EQ(window->alertLines().size(), 1u);
    status("99", "", "");
    EXPECT_EQ(window->alertLines().size(), 2u);
}

TEST_F(UsageAlerts, LimitsOfTheThreeResources)
{
    owner.periodMs = 5000;
    for (int i = 0; i < 5; ++i)
        status("51", "51", "90");
    EXPECT_EQ(host->cpuOverCount, 5);
    EXPECT_EQ(host->memoryOverCount, 5);
    EXPECT_EQ(host->diskOverCount, 5) << "disk at 90 counts";
    status("50", "50", "89");
    EXPECT_EQ(host->cpuOverCount, 0);
    EXPECT_EQ(host->memoryOverCount, 0);
    EXPECT_EQ(host->diskOverCount, 0);
    for (int i = 0; i < 12; ++i)
        status("50", "60", "95");
    EXPECT_EQ(host->cpuOverCount, 0) << "50 never counts";
    // Alerts in resource order within one sample.
    EXPECT_EQ(window->alertLines(), (Lines{"2009-06-01 09:05:03 " + kMemoryAlert,
                                           "2009-06-01 09:05:03 " + kDiskAlert}));
    EXPECT_EQ(owner.logs, (std::vector<LogEntry>{{kMemoryAlert, false, false},
                                                 {kDiskAlert, false, false}}));
}

TEST_F(UsageAlerts, SevenSecondPeriodNeedsEightSamplesAndAboveFiveSecondsEleven)
{
    owner.periodMs = 7000;
    for (int i = 0; i < 7; ++i)
        status("", "", "91");
    EXPECT_TRUE(window->alertLines().empty());
    status("", "", "91");
    EXPECT_EQ(window->alertLines().size(), 1u);

    owner.periodMs = 5099;
    for (int i = 0; i < 10; ++i)
        status("", "", "91");
    EXPECT_EQ(window->alertLines().size(), 1u);
    status("", "", "91");
    EXPECT_EQ(window->alertLines().size(), 2u);
}

TEST_F(UsageAlerts, EmptyUsageKeepsTheCounterAndShowsZero)
{
    host->cpuOverCount = 5;
    status("", "", "");
    EXPECT_EQ(host->cpuOverCount, 5);
    EXPECT_EQ(window->gaugeLabel(Resource::Cpu), "0%");
    EXPECT_EQ(window->gaugeTop(Resource::Cpu), 60);
    EXPECT_EQ(window->graphSamples(Resource::Cpu).back(), 1);
    EXPECT_EQ(window->graphSamples(Resource::Memory).back(), 0);
    EXPECT_TRUE(owner.logs.empty());
}

TEST_F(UsageAlerts, TextThatIsNoNumberIsShownAsZeroAndLoggedOnce)
{
    host->cpuOverCount = 7;
    host->diskOverCount = 3;
    status("abc", "40", "9x");
    EXPECT_EQ(host->cpuOverCount, 7);
    EXPECT_EQ(host->diskOverCount, 3);
    EXPECT_EQ(window->gaugeLabel(Resource::Cpu), "0%");
    EXPECT_EQ(window->gaugeTop(Resource::Cpu), 60);
    EXPECT_EQ(window->graphSamples(Resource::Cpu).back(), 1);
    EXPECT_EQ(window->gaugeLabel(Resource::Memory), "40%") << "the other resources go on";
    EXPECT_EQ(window->gaugeLabel(Resource::Disk), "0%");
    EXPECT_EQ(owner.logs,
              (std::vector<LogEntry>{{"报盘机[Ip:10.0.0.5]的CPU利用率不是数字: abc", false, false},
                                     {"报盘机[Ip:10.0.0.5]的硬盘使用空间不是数字: 9x", false,
                                      false}}));

    status("abc", "40", "");
    status("12.5", "40", "");
    EXPECT_EQ(owner.logs.size(), 2u) << "logged once until a number comes again";
    status("20", "40", "");
    EXPECT_EQ(host->cpuOverCount, 0);
    status("abc", "40", "");
    EXPECT_EQ(owner.logs.size(), 3u);
}

TEST_F(Gauges, ImagePositionsLabelsAndGraphPoints)
{
    status("0", "50", "100");
    EXPECT_EQ(window->gaugeTop(Resource::Cpu), 60);
    EXPECT_EQ(window->gaugeTop(Resource::Memory), 35);
    EXPECT_EQ(window->gaugeTop(Resource::Disk), 10);
    EXPECT_EQ(window->gaugeLabel(Resource::Cpu), "0%");
    EXPECT_EQ(window->gaugeLabel(Resource::Memory), "50%");
    EXPECT_EQ(window->gaugeLabel(Resource::Disk), "100%");
    status("100", "7", "33");
    EXPECT_EQ(window->gaugeTop(Resource::Cpu), 10);
    EXPECT_EQ(window->gaugeTop(Resource::Memory), 56) << "(100 - 7) / 2 + 10 truncates";
    // The construction's notification drew the first point of each graph.
    EXPECT_EQ(window->graphSamples(Resource::Cpu), (std::vector<int>{1, 1, 101}));
    EXPECT_EQ(window->graphSamples(Resource::Memory), (std::vector<int>{0, 50, 7}));
    EXPECT_EQ(window->graphSamples(Resource::Disk), (std::vector<int>{0, 100, 33}));
    EXPECT_EQ(window->graphColour(Resource::Cpu), QColor(0, 255, 0));
    EXPECT_EQ(window->graphColour(Resource::Memory), QColor(255, 255, 0));
    EXPECT_EQ(window->graphColour(Resource::Disk), QColor(255, 255, 0));
    EXPECT_EQ(gaugeImageTop(1), 59);
    EXPECT_EQ(gaugeImageTop(99), 10);
}

TEST_F(Gauges, GraphsKeepOnlyTheSamplesThatFit)
{
    for (int i = 0; i < 120; ++i)
        status(std::to_string(i % 100), "1", "2");
    const std::vector<int> cpu = window->graphSamples(Resource::Cpu);
    ASSERT_EQ(cpu.size(), 98u) << "585 pixels at 6 pixels a sample";
    EXPECT_EQ(cpu.back(), 19 + 1);
}

// Paints alert line `index` into an image and counts the pixels near `ink`.
int inkPixels(TF_HOST& w, int index, bool selected, QColor ink, QColor* background)
{
    QImage image(1000, 16, QImage::Format_RGB32);
    image.fill(Qt::black);
    {
        QPainter painter(&image);
        w.ListBoxHDInfoDrawItem(painter, index, QRect(0, 0, 1000, 16), selected);
    }
    *background = image.pixelColor(999, 15);
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - ink.red()) < 40 && std::abs(c.green() - ink.green()) < 40
                && std::abs(c.blue() - ink.blue()) < 40)
                ++count;
        }
    return count;
}

TEST_F(UsageAlerts, AlertLinesAreDrawnBlueOnWhiteOrYellowOnTheSelection)
{
    window->addAlert("2009-06-01 09:05:03 " + kCpuAlert);
    QColor background;
    EXPECT_GT(inkPixels(*window, 0, false, QColor(0, 0, 255), &background), 0);
    EXPECT_EQ(background, QColor(Qt::white));
    EXPECT_GT(inkPixels(*window, 0, true, QColor(255, 255, 0), &background), 0);
    EXPECT_EQ(background, window->palette().color(QPalette::Highlight));
}

TEST_F(UsageAlerts, MoreThanAThousandLinesAreCutToTheLastWhenDrawn)
{
    for (int i = 0; i < 1000; ++i)
        window->addAlert("line " + std::to_string(i));
    QColor background;
    inkPixels(*window, 0, false, QColor(0, 0, 255), &background);
    EXPECT_EQ(window->alertLines().size(), 1000u) << "a thousand lines are kept";

    window->addAlert("line 1000");
    EXPECT_EQ(inkPixels(*window, 0, false, QColor(0, 0, 255), &background), 0);
    EXPECT_EQ(background, QColor(Qt::black)) << "nothing drawn in the cutting call";
    EXPECT_EQ(window->alertLines(), (Lines{"line 1000"}));

    // Through the list's own painting too.
    for (int i = 0; i < 1001; ++i)
        window->addAlert("again " + std::to_string(i));
    window->pages()->setCurrentIndex(0);
    window->alertList()->viewport()->grab();
    EXPECT_EQ(window->alertLines(), (Lines{"again 1000"}));
}

TEST_F(DetailWindowLife, ConstructionAttachesItsObserverAndTellsEveryObserver)
{
    struct Counter : HostObserver
    {
        void update(HostSubject&) override { ++calls; }
        int calls = 0;
    } grid;
    auto other = std::make_unique<HostSubject>("HOST2", "10.0.0.6", "10012");
    other->attach(&grid);
    owner.host = other.get();
    other->setDetailWindow(std::make_unique<TF_HOST>(owner, *other));
    EXPECT_EQ(grid.calls, 1);
    auto* made = static_cast<TF_HOST*>(other->getDetailWindow());
    ASSERT_EQ(other->getObservers().size(), 2u);
    EXPECT_EQ(other->getObservers()[1], &made->observer());
    EXPECT_EQ(made->graphSamples(Resource::Cpu), (std::vector<int>{1}));
    owner.host = host.get();
}

TEST_F(DetailWindowLife, ClosingHidesEmptiesTheAlertsAndKeepsTheRun)
{
    window->show();
    window->addAlert("2009-06-01 09:05:03 " + kCpuAlert);
    window->BtnTSStartClick();
    EXPECT_TRUE(window->close());
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(window->alertLines().empty());
    EXPECT_EQ(window->progressLines().size(), 3u);
    EXPECT_TRUE(window->stepTimerActive()) << "a running check goes on while hidden";

    // Hidden, the observer still follows the host.
    status("42", "", "");
    EXPECT_EQ(window->gaugeLabel(Resource::Cpu), "42%");

    window->show();
    EXPECT_EQ(window->progressLines().size(), 3u);
    window->addAlert("x");
    window->BitBtnExitClick();
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(window->alertLines().empty());
}

TEST_F(DetailWindowLife, ActivationIsReportedToTheMainWindow)
{
    QEvent activate(QEvent::WindowActivate);
    QCoreApplication::sendEvent(window, &activate);
    EXPECT_EQ(owner.activated, window);
    owner.activated = nullptr;
    window->FormActivate();
    EXPECT_EQ(owner.activated, window);
}

TEST_F(DetailWindowLife, DestroyedWithItsHostWhileARunIsGoingOn)
{
    QPointer<TF_HOST> watched(window);
    window->show();
    window->addAlert("line");
    owner.connection = "未连接";
    window->BtnTSStartClick();
    host.reset();
    EXPECT_TRUE(watched.isNull());
    window = nullptr;
}

} // namespace
} // namespace tarvo::test
