#include "window/RemoteDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHostAddress>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

#include "window/Varmolen2.h"
#include "window/RemoteControl.h"

namespace varmolen {

bool isLoopbackAddress(const QString& address)
{
    const QHostAddress host(address.trimmed());
    return !host.isNull() && host.isLoopback();
}

RemoteDialog::RemoteDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("RemoteDialog"));
    setWindowTitle(QStringLiteral("Remote Control"));
    enabled_ = new QCheckBox(QStringLiteral("&Listen for remote commands"), this);
    port_ = new QSpinBox(this);
    port_->setRange(1, 65535);
    address_ = new QLineEdit(this);
    warning_ = new QLabel(QStringLiteral("Anyone who can reach this address can control the instrument and read "
                                         "what it records. Only this computer can reach 127.0.0.1."),
                          this);
    warning_->setWordWrap(true);
    warning_->setStyleSheet(QStringLiteral("color: #b00000;"));
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Port:"), port_);
    form->addRow(QStringLiteral("&Address:"), address_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(address_, &QLineEdit::textChanged, this, [this] { showWarning(); });
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(enabled_);
    layout->addLayout(form);
    layout->addWidget(warning_);
    layout->addWidget(buttons);
}

void RemoteDialog::load(const FeatureSettings& settings)
{
    enabled_->setChecked(settings.remoteEnabled);
    port_->setValue(settings.remotePort);
    address_->setText(QString::fromStdString(settings.remoteListen));
    showWarning();
}

bool RemoteDialog::store(FeatureSettings& settings) const
{
    const std::string address = address_->text().trimmed().toStdString();
    if (!isRemoteListenAddress(address))
        return false;
    settings.remoteEnabled = enabled_->isChecked();
    settings.remotePort = port_->value();
    settings.remoteListen = address;
    return true;
}

void RemoteDialog::showWarning() { warning_->setVisible(!isLoopbackAddress(address_->text())); }

// ---------------------------------------------------------------- handler

void RemoteControl::RemoteControl1Click(QObject* /*sender*/)
{
    RemoteControl& remote = *this;
    RemoteDialog dialog(&form_);
    dialog.load(form_.state().features);
    for (;;) {
        if (remote.runDialog(dialog) != QDialog::Accepted)
            return;
        if (dialog.store(form_.state().features))
            break;
        form_.host().showMessage("The address must be an IP address, such as 127.0.0.1.", "Remote Control");
    }
    QString whyNot;
    if (!remote.server().apply(whyNot))
        form_.host().showMessage("Remote control cannot listen: " + whyNot.toStdString(), "Remote Control");
}

}  // namespace varmolen
