// Widgets of the main window: the three-panel status bar and the error list view.
#pragma once

#include "app/ErrorList.h"

#include <QListWidget>
#include <QStatusBar>

#include <array>
#include <string>

class QLabel;

namespace tarvo {

// Three panels; on every resize their widths become w*300/522, w*100/522 and w*50/522.
class MonitorStatusBar : public QStatusBar
{
    Q_OBJECT
public:
    explicit MonitorStatusBar(QWidget *parent = nullptr);

    void setPanelText(int panel, const std::string &gbk);
    std::string panelText(int panel) const;
    int panelWidth(int panel) const;

    static std::array<int, 3> panelWidths(int barWidth);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    std::array<QLabel *, 3> panels{};
};

// Shows an ErrorList: Error lines red, others blue, the newest line scrolled to the top.
class ErrorListView : public QListWidget
{
    Q_OBJECT
public:
    ErrorListView(ErrorList &list, QWidget *parent = nullptr);

    // Index of the topmost visible line.
    int topIndex() const;

protected:
    void updateGeometries() override;

private:
    void appendLine(const std::string &line);
    void rebuild();
    void scrollNewestToTop();

    ErrorList &list;
};

} // namespace tarvo
