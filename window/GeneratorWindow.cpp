#include "window/GeneratorWindow.h"

#include <QAccessibleWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>

#include "acquisition/GeneratorControl.h"
#include "window/RemoteControl.h"
#include "window/SweepWindow.h"
#include "state/InstrumentSettings.h"
#include "window/QtHost.h"
#include "remote/ScpiParser.h"

namespace varmolen {

namespace {

// The waveforms in the order of SynthWaveform.
constexpr const char* kWaveformCaptions[kSynthWaveformCount] = {"Sine",
                                                                "Square",
                                                                "Triangle",
                                                                "Sawtooth",
                                                                "White noise",
                                                                "Pink noise",
                                                                "Two-tone 60 Hz + 7 kHz (4:1)",
                                                                "Two-tone 19 kHz + 20 kHz (1:1)"};
constexpr const char* kChannelCaptions[3] = {"Left", "Right", "Both"};
constexpr const char* kNamedProperty = "varmolenNamedChoice";

// On Linux a combo box reads its current item as its name; a choice of the
// generator's is called by what it chooses ("Generator waveform") and reads
// its item as its value.
class NamedChoiceAccessible : public QAccessibleWidget {
public:
    explicit NamedChoiceAccessible(QComboBox* box) : QAccessibleWidget(box, QAccessible::ComboBox) {}
    QString text(QAccessible::Text t) const override
    {
        const auto* box = static_cast<const QComboBox*>(widget());
        if (t == QAccessible::Name)
            return box->accessibleName();
        if (t == QAccessible::Value)
            return box->currentText();
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface* namedChoiceInterface(const QString& key, QObject* object)
{
    if (key == QLatin1String("QComboBox") && object != nullptr && object->property(kNamedProperty).toBool())
        return new NamedChoiceAccessible(static_cast<QComboBox*>(object));
    return nullptr;
}

QComboBox* namedChoice(QWidget* parent, const QString& name)
{
    static const bool installed = [] {
        QAccessible::installFactory(namedChoiceInterface);
        return true;
    }();
    (void)installed;
    auto* box = new QComboBox(parent);
    box->setProperty(kNamedProperty, true);
    box->setAccessibleName(name);
    return box;
}

}  // namespace

QDoubleSpinBox* numberBox(QWidget* parent, double low, double high, const QString& suffix, const QString& name)
{
    auto* box = new QDoubleSpinBox(parent);
    box->setDecimals(2);
    box->setRange(low, high);
    box->setSingleStep(1.0);
    box->setSuffix(suffix);
    // A value typed in takes effect when it is complete, not digit by digit.
    box->setKeyboardTracking(false);
    box->setAccessibleName(name);
    return box;
}

GeneratorWindow::GeneratorWindow(QWidget& owner, const InstrumentSettings& settings, QtHost& host,
                                 GeneratorControl& generator, EndAnnouncer announceEnd)
    : QWidget(&owner, Qt::Window),
      settings_(settings),
      host_(host),
      generator_(generator),
      announceEnd_(std::move(announceEnd))
{
    setObjectName(QStringLiteral("GeneratorWindow"));
    setWindowTitle(QStringLiteral("Signal Generator"));
    auto* layout = new QFormLayout(this);

    output_ = new QPushButton(QStringLiteral("Off"), this);
    output_->setCheckable(true);
    output_->setAccessibleName(QStringLiteral("Generator output"));
    layout->addRow(QStringLiteral("Output"), output_);

    waveform_ = namedChoice(this, QStringLiteral("Generator waveform"));
    for (const char* caption : kWaveformCaptions)
        waveform_->addItem(QString::fromUtf8(caption));
    layout->addRow(QStringLiteral("Waveform"), waveform_);

    // The frequency set stays whatever the rate; the line below it tells
    // what plays while the rate cannot carry it.
    frequency_ =
        numberBox(this, kSynthMinHz, kSettingsMaxHz, QStringLiteral(" Hz"), QStringLiteral("Generator frequency"));
    layout->addRow(QStringLiteral("Frequency"), frequency_);
    played_ = new QLabel(this);
    played_->setAccessibleName(QStringLiteral("Generator frequency played"));
    played_->setWordWrap(true);
    layout->addRow(QString(), played_);

    level_ = numberBox(this, kSynthMinDbfs, kSynthMaxDbfs, QStringLiteral(" dBFS"), QStringLiteral("Generator level"));
    layout->addRow(QStringLiteral("Level"), level_);

    channels_ = namedChoice(this, QStringLiteral("Generator channels"));
    for (const char* caption : kChannelCaptions)
        channels_->addItem(QString::fromUtf8(caption));
    layout->addRow(QStringLiteral("Channels"), channels_);

    invert_ = new QCheckBox(QStringLiteral("Invert right channel"), this);
    layout->addRow(QString(), invert_);

    device_ = namedChoice(this, QStringLiteral("Generator device"));
    layout->addRow(QStringLiteral("Device"), device_);

    underruns_ = new QLabel(this);
    underruns_->setAccessibleName(QStringLiteral("Generator underruns"));
    layout->addRow(QStringLiteral("Underruns"), underruns_);

    refresh_ = new QTimer(this);
    refresh_->setInterval(kRefreshMs);
    connect(refresh_, &QTimer::timeout, this, [this] { refresh(); });

    connect(output_, &QPushButton::toggled, this, [this](bool on) { switchOutput(on); });
    connect(waveform_, &QComboBox::currentIndexChanged, this,
            [this](int i) { generator_.setWaveform(static_cast<SynthWaveform>(i)); });
    connect(frequency_, &QDoubleSpinBox::valueChanged, this, [this](double hz) {
        generator_.setFrequency(hz);
        refresh();
    });
    connect(level_, &QDoubleSpinBox::valueChanged, this, [this](double dbfs) { generator_.setLevel(dbfs); });
    connect(channels_, &QComboBox::currentIndexChanged, this,
            [this](int i) { generator_.setChannels(static_cast<SynthChannels>(i)); });
    connect(invert_, &QCheckBox::toggled, this, [this](bool on) { generator_.setInvertRight(on); });
    connect(device_, &QComboBox::activated, this,
            [this](int i) { generator_.setDevice(device_->itemData(i).toString().toStdString()); });
    load();
}

unsigned GeneratorWindow::captureRate() const { return settings_.sampleRate; }

void GeneratorWindow::load()
{
    {
        const QSignalBlocker quiet(device_);
        device_->clear();
        for (const PlaybackDevice& d : generator_.devices())
            device_->addItem(QString::fromStdString(d.productName), QString::fromStdString(d.name));
        const int chosen = device_->findData(QString::fromStdString(generator_.device()));
        device_->setCurrentIndex(chosen >= 0 ? chosen : 0);
    }
    showSettings();
}

void GeneratorWindow::showSettings()
{
    const SynthSettings& s = generator_.settings();
    {
        const QSignalBlocker b1(waveform_), b2(frequency_), b3(level_), b4(channels_), b5(invert_);
        waveform_->setCurrentIndex(static_cast<int>(s.waveform));
        frequency_->setValue(s.hz);
        level_->setValue(s.levelDbfs);
        channels_->setCurrentIndex(static_cast<int>(s.channels));
        invert_->setChecked(s.invertRight);
    }
    refresh();
}

void GeneratorWindow::switchOutput(bool on)
{
    if (on && !generator_.on()) {
        std::string whyNot;
        if (!generator_.switchOn(captureRate(), whyNot))
            host_.showMessage(whyNot, "Signal Generator");
    } else if (!on) {
        generator_.switchOff();
    }
    refresh();
}

void GeneratorWindow::outputFailed()
{
    const std::string message = generator_.takeFailure();
    refresh();
    if (!message.empty())
        announceEnd_(scpi::code::kHardwareError, message, "Signal Generator", true);
}

void GeneratorWindow::refresh()
{
    const bool on = generator_.on();
    {
        const QSignalBlocker blocker(output_);
        output_->setChecked(on);
    }
    output_->setText(on ? QStringLiteral("On") : QStringLiteral("Off"));
    underruns_->setText(QString::number(generator_.underruns()));
    const unsigned rate = on ? generator_.rate() : captureRate();
    const double played = generator_.playedHz(rate);
    played_->setVisible(played != generator_.settings().hz);
    played_->setText(QStringLiteral("Plays %1 Hz: the rate of %2 Hz carries no higher")
                         .arg(QString::number(played, 'g', 10), QString::number(rate)));
    if (on && isVisible())
        refresh_->start();
    else
        refresh_->stop();
}

}  // namespace varmolen
