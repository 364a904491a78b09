#include "window/StatusPanels.h"

#include <QLabel>
#include <QStatusBar>
#include <QTimer>

#include "panel/PanelControls.h"

namespace varmolen {

void StatusPanels::showNotice(const QString& text, int ms)
{
    if (noticePanel_ == nullptr) {
        noticePanel_ = new QLabel(widgets_.StatusBar1);
        noticePanel_->setObjectName(QStringLiteral("NoticePanel"));
        widgets_.StatusBar1->addPermanentWidget(noticePanel_, 1);
        noticeTimer_ = new QTimer(&owner_);
        noticeTimer_->setSingleShot(true);
        QObject::connect(noticeTimer_, &QTimer::timeout, &owner_, [this] {
            noticePanel_->clear();
            noticePanel_->hide();
        });
    }
    const QString line = text.simplified();
    noticePanel_->setText(line);
    noticePanel_->setToolTip(line);
    noticePanel_->show();
    noticeTimer_->start(ms);
}

QString StatusPanels::notice() const { return noticePanel_ != nullptr ? noticePanel_->text() : QString(); }

QLabel* StatusPanels::panel(int index) const
{
    if (widgets_.StatusBar1 == nullptr || index < 0 || index > 4)
        return nullptr;
    return widgets_.StatusBar1->findChild<QLabel*>(QStringLiteral("StatusPanel%1").arg(index));
}

void StatusPanels::setText(int index, const QString& text)
{
    if (QLabel* label = panel(index))
        label->setText(text);
}

QString StatusPanels::text(int index) const
{
    const QLabel* label = panel(index);
    return label != nullptr ? label->text() : QString();
}

}  // namespace varmolen
