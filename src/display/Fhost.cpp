// The detail window's life and events and its troubleshooting run: the connection check on
// the connection timer, then the version, configuration and CS checks on the step timer.
#include "display/Fhost.h"

#include "framework/GaugePanel.h"
#include "framework/OwnerDrawList.h"
#include "framework/QtText.h"
#include "framework/StripGraph.h"
#include "host/HostSubject.h"

#include <QCloseEvent>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QWindow>

#include <exception>

namespace tarvo {

const std::array<std::string, 6> stepNames = {
    "", "探针报盘机", "监视界面与探针的网络连接", "探针的版本信息", "探针的配置文件", "CS的状态",
};

std::vector<std::string> answerLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t from = 0;
    for (;;) {
        const size_t end = text.find("\r\n", from);
        if (end == std::string::npos) {
            // The first piece always counts, even when empty; after a CR LF only a
            // non-empty unterminated tail does.
            if (lines.empty() || from < text.size())
                lines.push_back(text.substr(from));
            return lines;
        }
        lines.push_back(text.substr(from, end - from));
        from = end + 2;
    }
}

TF_HOST::TF_HOST(HostDetailOwner& owner, HostSubject& host)
    : QDialog(nullptr)
    , owner_(owner)
    , host_(host)
{
    // Closing the main window ends the program even while a detail window is open.
    setAttribute(Qt::WA_QuitOnClose, false);
    buildWindow();
    observer_ = std::make_unique<TFHostObserver>(*this);
    host_.attach(observer_.get());
    host_.notify();
}

// Runs inside the host's destructor: the host's observer list is already gone, so neither
// the host nor the observer may be touched here.
TF_HOST::~TF_HOST() = default;

// --- window events

bool TF_HOST::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate)
        FormActivate();
    return QDialog::event(event);
}

void TF_HOST::FormActivate() { owner_.detailWindowActivated(this); }

void TF_HOST::FormClose() { ListBoxHDInfo->clear(); }

void TF_HOST::closeEvent(QCloseEvent* event)
{
    // Only hidden: the observer, the progress lines and a running check stay.
    FormClose();
    hide();
    event->accept();
}

void TF_HOST::reject() { close(); }

void TF_HOST::showEvent(QShowEvent* event)
{
    QWidget* main = owner_.mainWindowWidget();
    if (!placed_ && main) {
        placed_ = true;
        move(main->frameGeometry().center() - QPoint(width() / 2, height() / 2));
    }
    if (main && main->windowHandle() && windowHandle())
        windowHandle()->setTransientParent(main->windowHandle());
    QDialog::showEvent(event);
}

void TF_HOST::guarded(void (TF_HOST::*handler)(), const char* name)
{
    try {
        (this->*handler)();
    } catch (const std::exception& e) {
        owner_.writeLog("Exception from " + host_.getChannelIP() + "(" + name + "): " + e.what(),
                        false, false);
    }
}

// --- alert list and gauges

void TF_HOST::addAlert(const std::string& line) { ListBoxHDInfo->addLine(line); }

const std::vector<std::string>& TF_HOST::alertLines() const { return ListBoxHDInfo->lines(); }

void TF_HOST::ListBoxHDInfoDrawItem(QPainter& painter, int index, const QRect& rect,
                                    bool selected)
{
    if (ListBoxHDInfo->count() > kAlertListLimit) {
        std::string last = ListBoxHDInfo->line(ListBoxHDInfo->count() - 1);
        ListBoxHDInfo->clear();
        ListBoxHDInfo->addLine(std::move(last));
        return;
    }
    if (index < 0 || index >= ListBoxHDInfo->count())
        return;
    painter.fillRect(rect, selected ? palette().color(QPalette::Highlight) : QColor(Qt::white));
    painter.setPen(selected ? QColor(255, 255, 0) : QColor(0, 0, 255));
    painter.setFont(alertFont_);
    painter.drawText(rect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                     qtText(ListBoxHDInfo->line(index)));
}

void TF_HOST::showGauge(Resource resource, int top, const std::string& label)
{
    gauges_[size_t(resource)]->setImageTop(top);
    percentLabels_[size_t(resource)]->setText(qtText(label));
}

void TF_HOST::plot(Resource resource, int value) { graphs_[size_t(resource)]->addSample(value); }

int TF_HOST::gaugeTop(Resource resource) const { return gauges_[size_t(resource)]->imageTop(); }

std::string TF_HOST::gaugeLabel(Resource resource) const
{
    return gbkText(percentLabels_[size_t(resource)]->text());
}

std::vector<int> TF_HOST::graphSamples(Resource resource) const
{
    return graphs_[size_t(resource)]->samples().values();
}

QColor TF_HOST::graphColour(Resource resource) const
{
    return graphs_[size_t(resource)]->colour();
}

// --- troubleshooting state

bool TF_HOST::startEnabled() const { return BtnTSStart->isEnabled(); }
bool TF_HOST::stopEnabled() const { return BtnTSStop->isEnabled(); }
bool TF_HOST::stepTimerActive() const { return TimerTS->isActive(); }
bool TF_HOST::connectionTimerActive() const { return TimerAgentCon->isActive(); }

void TF_HOST::addLine(std::string line)
{
    ListBoxTS->addItem(qtText(line));
    progress_.push_back(std::move(line));
}

void TF_HOST::replaceLastLine(std::string line)
{
    // Nothing to replace only when stop is clicked before any run: the line is added.
    if (progress_.empty())
        return addLine(std::move(line));
    ListBoxTS->item(ListBoxTS->count() - 1)->setText(qtText(line));
    progress_.back() = std::move(line);
}

void TF_HOST::showAnswer(const std::string& text)
{
    const std::vector<std::string> lines = answerLines(text);
    replaceLastLine(lines.front());
    for (size_t i = 1; i < lines.size(); ++i)
        addLine(lines[i]);
}

void TF_HOST::runStep(const std::string& stepName)
{
    owner_.runTroubleshootingStep(host_.getChannelIP(), stepName);
}

void TF_HOST::endRun()
{
    BtnTSStart->setEnabled(true);
    BtnTSStop->setEnabled(false);
}

// --- the run

void TF_HOST::BtnTSStartClick()
{
    owner_.writeLog("Trouble Shooting " + host_.getChannelIP(), true, true);
    // Start is only clickable while idle; stopping any leftover timer keeps a run single.
    TimerTS->stop();
    TimerAgentCon->stop();
    BtnTSStart->setEnabled(false);
    BtnTSStop->setEnabled(true);
    ListBoxTS->clear();
    progress_.clear();

    addLine("正在检查" + stepNames[1] + "...");
    host_.troubleShootingPending = true;
    addLine("正在检查" + stepNames[2] + "...");
    host_.troubleShootingPending = true;
    runStep("AgentStatus");
    if (host_.getTroubleShootingText().empty()) {
        replaceLastLine("监视界面与探针的网络连接正常");
        beginVersionCheck();
        return;
    }
    replaceLastLine(host_.getTroubleShootingText());
    TimerAgentCon->start();
}

void TF_HOST::TimerAgentConTimer()
{
    host_.troubleShootingPending = true;
    runStep("AgentStatus1");
    if (host_.troubleShootingPending) {
        replaceLastLine("检查监视界面与探针的网络连接超时");
        beginVersionCheck();
        return;
    }
    if (!host_.getTroubleShootingText().empty()) {
        replaceLastLine(host_.getTroubleShootingText());
        addLine("故障检测终止");
        TimerAgentCon->stop();
        endRun();
        return;
    }
    replaceLastLine("监视界面与探针的网络连接正常");
    beginVersionCheck();
}

void TF_HOST::beginVersionCheck()
{
    addLine("正在检查" + stepNames[3] + "...");
    stepIndex_ = 3;
    host_.troubleShootingPending = true;
    runStep("AgentVersion");
    TimerTS->start();
    TimerAgentCon->stop();
}

void TF_HOST::TimerTSTimer()
{
    // Steps 3 to 5 only; a tick outside a check has nothing to look at.
    if (stepIndex_ < 3 || stepIndex_ > 5) {
        TimerTS->stop();
        return;
    }
    const std::string& name = stepNames[size_t(stepIndex_)];
    if (host_.troubleShootingPending && stepIndex_ != 5) {
        replaceLastLine("检查" + name + "超时");
    } else {
        // The CS check never times out: it waits for an answer with a new text.
        if (host_.getTroubleShootingText() == lastShownResult_ && stepIndex_ == 5)
            return;
        lastShownResult_ = host_.getTroubleShootingText();
        HostResult& result = host_.results[size_t(stepIndex_ - 1)];
        const std::string answer = std::move(result.text);
        result.text.clear();
        showAnswer(answer);
    }

    ++stepIndex_;
    host_.troubleShootingPending = true;
    if (stepIndex_ < 6)
        addLine("正在检查" + stepNames[size_t(stepIndex_)] + "...");
    switch (stepIndex_) {
    case 4: runStep("CheckCfgFile"); break;
    case 5: runStep("CheckCS"); break;
    case 6:
        TimerTS->stop();
        addLine("检查完毕");
        endRun();
        break;
    default: break;
    }
}

void TF_HOST::BtnTSStopClick()
{
    TimerTS->stop();
    TimerAgentCon->stop();
    replaceLastLine("终止检查");
    endRun();
}

} // namespace tarvo
