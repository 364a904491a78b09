#include "window/PanelGroup.h"

#include "window/Varmolen2.h"

namespace varmolen {

PanelGroup::PanelGroup(TScopeForm& form) : form_(form), controls_(form.controls()) {}

InstrumentState& PanelGroup::state() { return form_.state(); }

QtHost& PanelGroup::host() { return form_.host(); }

void PanelGroup::setStatusText(int index, const QString& text) { form_.status().setText(index, text); }

QString PanelGroup::statusText(int index) const { return form_.status().text(index); }

}  // namespace varmolen
