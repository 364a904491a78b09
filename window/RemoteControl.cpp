#include "window/RemoteControl.h"

#include <QLabel>
#include <QStatusBar>

#include <utility>

#include "window/MeasureControls.h"
#include "window/RemoteDialog.h"
#include "window/Varmolen2.h"
#include "acquisition/GeneratorControl.h"

namespace varmolen {

RemoteControl::RemoteControl(TScopeForm& form) : form_(form)
{
    runDialog = [](RemoteDialog& dialog) { return dialog.exec(); };
    server_ = new RemoteServer(*this, &form);
    // The handlers are told the action came from the server.
    addSettingCommands(server_->commands(), form, server_);
    addDataCommands(server_->commands(), form, choices_);
    addGeneratorCommands(server_->commands(), form);
    statusLabel_ = new QLabel(&form);
    statusLabel_->setObjectName(QStringLiteral("RemotePanel"));
    statusLabel_->hide();
    if (QStatusBar* bar = form.controls().status.StatusBar1)
        bar->addPermanentWidget(statusLabel_);
}

RemoteControl::~RemoteControl()
{
    // The panel belongs to the status bar; it goes with remote control.
    delete statusLabel_;
}

bool RemoteControl::listening() const { return server_ != nullptr && server_->listening(); }

void RemoteControl::retire()
{
    if (server_ != nullptr)
        server_->retire();
}

RemoteListen RemoteControl::listenSettings() const
{
    const FeatureSettings& f = form_.state().features;
    return {f.remoteEnabled, f.remoteListen, f.remotePort};
}

std::int32_t RemoteControl::idleSeconds() const { return form_.state().features.remoteIdleSeconds; }

std::int32_t RemoteControl::opcTimeoutSeconds() const { return form_.state().features.remoteOpcTimeoutSeconds; }

bool RemoteControl::operationsComplete() const
{
    const InstrumentState& s = form_.state();
    const bool singleArmed = s.singleSweep == 1 && s.displayHold == 0;
    return !form_.generatorPanel().generator().sweeping() && !singleArmed && form_.measure().readingsSettled();
}

void RemoteControl::setRemoteReading(bool on) { form_.measure().setRemoteReading(on); }

void RemoteControl::showNotice(const QString& text, int ms) { form_.status().showNotice(text, ms); }

void RemoteControl::showStatus(const QString& text, const QString& toolTip)
{
    statusLabel_->setText(text);
    statusLabel_->setVisible(!text.isEmpty());
    statusLabel_->setToolTip(toolTip);
}

RemoteBench::MessageSink RemoteControl::redirectMessages(MessageSink sink)
{
    return form_.host().redirectMessages(std::move(sink));
}

RemoteControl& TScopeForm::remoteControl()
{
    if (!remote_)
        remote_ = std::make_unique<RemoteControl>(*this);
    return *remote_;
}

RemoteServer& remoteServerOf(TScopeForm& form) { return form.remoteControl().server(); }

void announceEnd(TScopeForm& form, int code, const std::string& text, const std::string& caption, bool boxed)
{
    RemoteControl* remote = form.remote();
    if (remote != nullptr && remote->listening())
        remote->server().announce(code, text);
    else if (boxed)
        form.host().showMessage(text, caption);
}

}  // namespace varmolen
