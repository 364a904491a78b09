// What every group of the main window's panel and menus starts from: the
// window it belongs to (its state, its widgets, its status bar and host),
// through which it also reaches the other groups. A group owns its
// handlers, under the names of their control and event, and whatever it
// keeps between them; the window owns the groups.
#pragma once

#include <QString>

namespace varmolen {

struct InstrumentState;
struct PanelControls;
class QtHost;
class TScopeForm;

class PanelGroup {
public:
    PanelGroup(const PanelGroup&) = delete;
    PanelGroup& operator=(const PanelGroup&) = delete;

protected:
    explicit PanelGroup(TScopeForm& form);
    ~PanelGroup() = default;

    InstrumentState& state();
    QtHost& host();
    void setStatusText(int index, const QString& text);
    QString statusText(int index) const;

    TScopeForm& form_;
    const PanelControls& controls_;
};

}  // namespace varmolen
