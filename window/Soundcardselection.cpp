#include "window/Soundcardselection.h"

#include <QCloseEvent>
#include <QFont>
#include <QFontMetrics>
#include <QShowEvent>

namespace varmolen {

namespace {

// The device name's font: 16 pixels high, or smaller for a long name.
constexpr int kNamePixels = 16;
constexpr int kSmallestNamePixels = 11;

}  // namespace

TSoundCardSelect::TSoundCardSelect(InstrumentState& state, WaveInput& input,
                                   std::function<void()> runCurrentInputHandler, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      SoundCardManf(new QLabel(this)),
      WaveUpDown(new UpDown(this)),
      CloseBtn(new QPushButton(QStringLiteral("Select"), this)),
      state_(state),
      input_(input),
      runCurrentInputHandler_(std::move(runCurrentInputHandler))
{
    setObjectName(QStringLiteral("SoundCardSelect"));
    setWindowTitle(QStringLiteral("Sound Card"));
    setModal(false);
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(11);
    setFont(font);
    setFixedSize(564, 107);
    move(0, 0);  // top-left corner of the screen

    SoundCardManf->setObjectName(QStringLiteral("SoundCardManf"));
    SoundCardManf->setGeometry(43, 32, 414, 25);
    SoundCardManf->setAutoFillBackground(true);
    QPalette palette = SoundCardManf->palette();
    palette.setColor(QPalette::Window, Qt::white);
    SoundCardManf->setPalette(palette);
    QFont labelFont(QStringLiteral("Arial"));
    labelFont.setPixelSize(kNamePixels);
    SoundCardManf->setFont(labelFont);

    WaveUpDown->setObjectName(QStringLiteral("WaveUpDown"));
    WaveUpDown->setGeometry(455, 32, 17, 25);
    WaveUpDown->upButton()->setGeometry(0, 0, 17, 12);
    WaveUpDown->downButton()->setGeometry(0, 12, 17, 13);
    WaveUpDown->setRange(0, 5);
    WaveUpDown->setPosition(0);

    CloseBtn->setObjectName(QStringLiteral("CloseBtn"));
    CloseBtn->setGeometry(232, 74, 75, 25);
    CloseBtn->setAutoDefault(false);

    connect(WaveUpDown, &UpDown::clicked, this, &TSoundCardSelect::WaveUpDownClick);
    connect(CloseBtn, &QPushButton::clicked, this, &TSoundCardSelect::CloseBtnClick);
}

void TSoundCardSelect::showDeviceName(int device)
{
    // The whole name: ALSA's descriptions run past the capability record's 31
    // bytes ("Playback/recording through the PulseAudio sound server"). A name
    // too wide for the label at its 16-pixel font is drawn smaller, down to
    // kSmallestNamePixels, and beyond that cut in the middle; the tooltip and
    // the spoken name always hold it whole. A device that cannot answer shows
    // an empty name.
    const QString name = QString::fromStdString(input_.deviceName(static_cast<UINT>(device)));
    const int room = SoundCardManf->contentsRect().width() - 2 * SoundCardManf->margin();
    QFont font = SoundCardManf->font();
    int pixels = kNamePixels;
    font.setPixelSize(pixels);
    while (pixels > kSmallestNamePixels && QFontMetrics(font).horizontalAdvance(name) > room)
        font.setPixelSize(--pixels);
    SoundCardManf->setFont(font);
    SoundCardManf->setText(QFontMetrics(font).elidedText(name, Qt::ElideMiddle, room));
    SoundCardManf->setToolTip(name);
    SoundCardManf->setAccessibleName(name);
}

void TSoundCardSelect::FormShow()
{
    if (state_.waveDeviceId <= state_.waveDeviceCount - 1) {
        WaveUpDown->setPosition(state_.waveDeviceId);
        showDeviceName(WaveUpDown->position());
    }
}

void TSoundCardSelect::WaveUpDownClick()
{
    if (WaveUpDown->position() >= state_.waveDeviceCount)
        WaveUpDown->setPosition(state_.waveDeviceCount - 1);
    ShowSelectedDevice();
}

void TSoundCardSelect::ShowSelectedDevice()
{
    const int position = WaveUpDown->position();
    if (position < state_.waveDeviceCount) {
        showDeviceName(position);
        state_.waveDeviceId = position;
    }
}

void TSoundCardSelect::CloseBtnClick()
{
    hide();
    if (runCurrentInputHandler_)
        runCurrentInputHandler_();
}

void TSoundCardSelect::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TSoundCardSelect::closeEvent(QCloseEvent* event)
{
    event->accept();
    CloseBtnClick();
}

void TSoundCardSelect::reject() { CloseBtnClick(); }

}  // namespace varmolen
