// The detail window's controls: the two pages, their gauges, graphs and lists, the buttons,
// the status bar and the two troubleshooting timers.
#include "display/Fhost.h"

#include "framework/GaugePanel.h"
#include "framework/OwnerDrawList.h"
#include "framework/QtText.h"
#include "framework/StripGraph.h"

#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>

namespace tarvo {
namespace {

constexpr int kClientWidth = 773;
constexpr int kClientHeight = 471;
constexpr QSize kGaugePanel(85, 63);
constexpr QSize kGaugeImage(69, 50);
constexpr int kGraphWidth = 585;
constexpr int kGraphHeight = 100;
constexpr int kGraphSpacing = 6;
constexpr int kAlertLineHeight = 16;

const QColor kLime(0, 255, 0);
const QColor kYellow(255, 255, 0);

struct ResourceLook
{
    const char* group;
    const char* label;
    const char* labelName;
    QColor colour;
};

// Group caption, label, label name and colour, in Resource order.
const ResourceLook kLooks[kResourceCount] = {
    {"CPU", "CPU%", "LabelCPUPercent", kLime},
    {"页文件", "PF%", "LabelMemPercent", kYellow},
    {"硬盘", "HDD%", "LabelHDDPercent", kYellow},
};

} // namespace

void TF_HOST::buildWindow()
{
    setObjectName(QStringLiteral("F_HOST"));
    setWindowTitle(qtText("报盘机详细信息"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowCloseButtonHint);
    setFixedSize(kClientWidth, kClientHeight);
    setSizeGripEnabled(false);

    PageControl = new QTabWidget(this);
    PageControl->setGeometry(4, 4, kClientWidth - 8, 414);

    auto* hardware = new QWidget;
    for (int i = 0; i < kResourceCount; ++i) {
        const ResourceLook& look = kLooks[i];
        const int top = 4 + i * (kGraphHeight + 4);
        auto* group = new QGroupBox(qtText(look.group), hardware);
        group->setGeometry(4, top, 160, kGraphHeight);
        gauges_[size_t(i)] = new GaugePanel(kGaugePanel, kGaugeImage, look.colour, group);
        gauges_[size_t(i)]->move(8, 24);
        percentLabels_[size_t(i)] = new QLabel(qtText(look.label), group);
        percentLabels_[size_t(i)]->setObjectName(QString::fromLatin1(look.labelName));
        percentLabels_[size_t(i)]->setGeometry(102, 46, 52, 16);
        graphs_[size_t(i)] = new StripGraph(kGraphWidth, kGraphHeight, kGraphSpacing,
                                            look.colour, hardware);
        graphs_[size_t(i)]->move(170, top);
    }
    ListBoxHDInfo = new OwnerDrawList(kAlertLineHeight, hardware);
    ListBoxHDInfo->setObjectName(QStringLiteral("ListBoxHDInfo"));
    ListBoxHDInfo->setGeometry(4, 316, kClientWidth - 22, 4 * kAlertLineHeight + 2);
    ListBoxHDInfo->setDrawItem([this](QPainter& painter, int index, const QRect& rect,
                                      bool selected) {
        ListBoxHDInfoDrawItem(painter, index, rect, selected);
    });
    alertFont_ = QFont(qtText("宋体"));
    alertFont_.setPixelSize(16);
    ListBoxHDInfo->setFont(alertFont_);

    auto* troubleshooting = new QWidget;
    ListBoxTS = new QListWidget(troubleshooting);
    ListBoxTS->setObjectName(QStringLiteral("ListBoxTS"));
    ListBoxTS->setGeometry(4, 4, kClientWidth - 22, 340);
    BtnTSStart = new QPushButton(qtText("故障检测"), troubleshooting);
    BtnTSStart->setGeometry(kClientWidth - 260, 352, 110, 25);
    BtnTSStop = new QPushButton(qtText("终止检测"), troubleshooting);
    BtnTSStop->setGeometry(kClientWidth - 140, 352, 110, 25);
    BtnTSStop->setEnabled(false);

    PageControl->addTab(hardware, qtText("硬件状态"));
    PageControl->addTab(troubleshooting, qtText("故障检测"));
    PageControl->setCurrentWidget(troubleshooting);

    BitBtnExit = new QPushButton(qtText("退出"), this);
    BitBtnExit->setGeometry(kClientWidth - 84, 423, 75, 25);

    StatusBar = new QStatusBar(this);
    StatusBar->setSizeGripEnabled(false);
    StatusBar->setGeometry(0, kClientHeight - 19, kClientWidth, 19);

    TimerTS = new QTimer(this);
    TimerTS->setInterval(kStepIntervalMs);
    TimerAgentCon = new QTimer(this);
    TimerAgentCon->setInterval(kConnectionIntervalMs);

    connect(BtnTSStart, &QPushButton::clicked, this,
            [this] { guarded(&TF_HOST::BtnTSStartClick, "BtnTSStart"); });
    connect(BtnTSStop, &QPushButton::clicked, this,
            [this] { guarded(&TF_HOST::BtnTSStopClick, "BtnTSStop"); });
    connect(BitBtnExit, &QPushButton::clicked, this, [this] { BitBtnExitClick(); });
    connect(TimerTS, &QTimer::timeout, this,
            [this] { guarded(&TF_HOST::TimerTSTimer, "TimerTS"); });
    connect(TimerAgentCon, &QTimer::timeout, this,
            [this] { guarded(&TF_HOST::TimerAgentConTimer, "TimerAgentCon"); });
}

} // namespace tarvo
