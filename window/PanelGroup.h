// What every group of the main window's panel and menus has: the panel's
// widgets it reads and sets, the status bar and the host that shows messages
// and pauses. Besides these a group takes only the parts of the instrument
// state its handlers read or write, and the other groups or window routines
// they call on; the window owns the groups and hands each what it takes. A
// group owns its handlers, under the names of their control and event, and
// whatever it keeps between them.
#pragma once

namespace varmolen {

struct PanelControls;
class QtHost;
class StatusPanels;

struct PanelParts {
    const PanelControls& controls;
    StatusPanels& status;
    QtHost& host;
};

class PanelGroup {
public:
    PanelGroup(const PanelGroup&) = delete;
    PanelGroup& operator=(const PanelGroup&) = delete;

protected:
    explicit PanelGroup(const PanelParts& panel) : controls_(panel.controls), status_(panel.status), host_(panel.host)
    {}
    ~PanelGroup() = default;

    const PanelControls& controls_;
    StatusPanels& status_;
    QtHost& host_;
};

}  // namespace varmolen
