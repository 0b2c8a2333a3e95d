// The host detail and troubleshooting window TF_HOST, and TFHostObserver, which feeds its
// gauges, graphs and usage alerts from every status answer of the host.
#pragma once

#include "display/HostDetailOwner.h"
#include "host/Host.h"
#include "host/HostObservers.h"

#include <QDialog>
#include <QFont>

#include <array>
#include <memory>
#include <string>
#include <vector>

class QLabel;
class QListWidget;
class QPainter;
class QPushButton;
class QStatusBar;
class QTabWidget;
class QTimer;

namespace tarvo {

class GaugePanel;
class HostSubject;
class OwnerDrawList;
class StripGraph;
class TF_HOST;

// The three watched resources, in the order the observer handles them.
enum class Resource { Cpu = 0, Memory = 1, Disk = 2 };
inline constexpr int kResourceCount = 3;

// Names of the troubleshooting steps by step number (1 to 5); index 0 is empty.
extern const std::array<std::string, 6> stepNames;

// Top edge of a gauge picture for a usage of v percent: (100 - v) / 2 + 10, truncating,
// so 0 gives 60, 50 gives 35 and 100 gives 10.
int gaugeImageTop(int v);

// Splits a step answer at CR LF: the first piece, then one piece per further line. A last
// piece without its closing CR LF is kept as a line of its own; an empty answer is one
// empty piece.
std::vector<std::string> answerLines(const std::string& text);

// Attached to the window's host for the host's lifetime; owned by the window.
class TFHostObserver : public HostObserver
{
public:
    explicit TFHostObserver(TF_HOST& window);

    // Counts the samples over each limit and raises an alert after a minute of them, then
    // moves the gauges, sets their labels and adds one point to each graph. A usage text
    // that is not a decimal number is shown as 0 like an empty one, leaves its counter
    // alone and is logged once until the resource reports a number again.
    void update(HostSubject& host) override;

private:
    TF_HOST& window_;
    std::array<bool, kResourceCount> badValueLogged_{};
};

class TF_HOST : public QDialog, public HostDetailWindow
{
    Q_OBJECT
public:
    static constexpr int kStepIntervalMs = 2000;
    static constexpr int kConnectionIntervalMs = 1000;
    static constexpr int kAlertListLimit = 1000;

    // Attaches the observer to `host` and notifies the host, so that every observer of it
    // (this window's and the grids') shows its state at once. The window has no Qt parent:
    // its host owns it and destroys it in its own destructor, after which nothing may
    // notify the host, so the observer is never called again.
    TF_HOST(HostDetailOwner& owner, HostSubject& host);
    ~TF_HOST() override;

    // --- event handlers
    // The owner remembers this window for "切换窗口(&C)".
    void FormActivate();
    // Empties the alert list; closing only hides the window.
    void FormClose();
    void BitBtnExitClick() { close(); }
    // Escape closes like the caption's close button (and so also empties the alert list).
    void reject() override;
    void BtnTSStartClick();
    void BtnTSStopClick();
    void TimerAgentConTimer();
    void TimerTSTimer();
    // Draws alert line `index`; a list of more than 1000 lines is cut to its last line and
    // nothing is drawn.
    void ListBoxHDInfoDrawItem(QPainter& painter, int index, const QRect& rect, bool selected);

    // --- what the observer writes
    HostDetailOwner& owner() const { return owner_; }
    void addAlert(const std::string& line);
    void showGauge(Resource resource, int top, const std::string& label);
    void plot(Resource resource, int value);

    // --- state, for the owner and tests
    HostSubject& host() const { return host_; }
    const TFHostObserver& observer() const { return *observer_; }
    int stepIndex() const { return stepIndex_; }
    const std::string& lastShownResult() const { return lastShownResult_; }
    const std::vector<std::string>& progressLines() const { return progress_; }
    const std::vector<std::string>& alertLines() const;
    bool startEnabled() const;
    bool stopEnabled() const;
    bool stepTimerActive() const;
    bool connectionTimerActive() const;
    int gaugeTop(Resource resource) const;
    std::string gaugeLabel(Resource resource) const;
    std::vector<int> graphSamples(Resource resource) const;
    QColor graphColour(Resource resource) const;
    QTabWidget* pages() const { return PageControl; }
    OwnerDrawList* alertList() const { return ListBoxHDInfo; }

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void buildWindow();
    void addLine(std::string line);
    void replaceLastLine(std::string line);
    void showAnswer(const std::string& text);
    void beginVersionCheck();
    void runStep(const std::string& stepName);
    void endRun();
    // Runs a handler for its button or timer: an exception is logged rather than let loose
    // in the event loop.
    void guarded(void (TF_HOST::*handler)(), const char* name);

    HostDetailOwner& owner_;
    HostSubject& host_;
    std::unique_ptr<TFHostObserver> observer_;
    int stepIndex_ = 0;
    std::string lastShownResult_;
    std::vector<std::string> progress_;
    bool placed_ = false;
    QFont alertFont_;

    // Widgets, owned by the window through Qt's parent chain.
    QTabWidget* PageControl = nullptr;
    std::array<GaugePanel*, kResourceCount> gauges_{};
    std::array<QLabel*, kResourceCount> percentLabels_{};
    std::array<StripGraph*, kResourceCount> graphs_{};
    OwnerDrawList* ListBoxHDInfo = nullptr;
    QListWidget* ListBoxTS = nullptr;
    QPushButton* BtnTSStart = nullptr;
    QPushButton* BtnTSStop = nullptr;
    QPushButton* BitBtnExit = nullptr;
    QStatusBar* StatusBar = nullptr;
    QTimer* TimerTS = nullptr;
    QTimer* TimerAgentCon = nullptr;
};

} // namespace tarvo
