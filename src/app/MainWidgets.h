// Widgets of the main window: the three-panel status bar and the error list view.
#pragma once

#include "app/ErrorList.h"
#include "framework/OwnerDrawList.h"

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

// Shows an ErrorList, owner-drawn: "Error" lines red, others blue. Like a list box it can
// scroll any line to the top, so the newest line is shown as the top line with the space
// below it empty; the scroll bar runs from the first line to the last.
class ErrorListView : public OwnerDrawList
{
    Q_OBJECT
public:
    ErrorListView(ErrorList &list, QWidget *parent = nullptr);
};

} // namespace tarvo
