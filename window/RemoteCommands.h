// The instrument's remote commands: the rows that bind each command header
// to the window. A setter sets its control as the program does (silently)
// and runs the handler a user's action runs, then what the binding table
// runs after it, so the window shows what a script did; a query reads the
// state, the readouts or the measurements.
//
// Rows are grouped by what they reach; a feature added later adds its own
// rows with CommandTable::add (the sample rates a time base accepts are one
// table, kRemoteSampleRates, in RemoteCommands.cpp).
#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "state/FeatureSettings.h"

class QObject;

namespace varmolen {

namespace scpi {
class CommandTable;
}
class TScopeForm;
struct Binding;

// How WAVeform:DATA? sends its points: 16-bit codes, 32-bit floats (1.0
// full scale), or numbers as text.
enum class WaveformFormat { Word, Real, Ascii };

// What the remote commands keep between commands.
struct RemoteChoices {
    std::int32_t waveformSource = 1;  // the channel WAVeform:DATA? sends
    WaveformFormat waveformFormat = WaveformFormat::Word;
    std::int64_t waveformPoints = 0;  // the most points WAVeform:DATA? sends; 0: all the span has
};

// The settings: run control, channels, trace, trigger, time base, sample
// rate, display and markers, *IDN? and *RST. `sender` is what the handlers
// are told the action came from.
void addSettingCommands(scpi::CommandTable& table, TScopeForm& form, QObject* sender);
// A switch set as a user's click sets it: the control, then its row's handler.
void flip(TScopeForm& form, QObject* sender, const Binding& row, bool on);

// The time base over the record, the trigger's sweep, holdoff and force,
// and DIGitize (window/RemoteTimeBase.cpp); `rows` is the binding table the
// commands keep.
void addTimeBaseCommands(scpi::CommandTable& table, TScopeForm& form, QObject* sender,
                         const std::shared_ptr<const std::vector<Binding>>& rows);
// The spectrum analyser's settings and data, and the strip's weighted level
// (window/RemoteSpectrum.cpp).
void addSpectrumCommands(scpi::CommandTable& table, TScopeForm& form,
                         const std::shared_ptr<const std::vector<Binding>>& rows);
// The readings and data: MEASure, WAVeform, DISPlay:DATA? and recording.
void addDataCommands(scpi::CommandTable& table, TScopeForm& form, RemoteChoices& choices);

// The folder a remote client records into: [Remote] FilesFolder, else the
// folder the window last recorded into, else the home folder.
QString remoteFilesFolder(const FeatureSettings& f);
// The file RECord "name" records into: a new file of that folder. Empty,
// with the error number and the reason, for a name that is no plain WAV
// file name (a path, ".."), a folder that is not there, or a name already
// taken.
inline constexpr std::size_t kMaxRemoteFileName = 255;
QString remoteRecordingFile(const FeatureSettings& f, const std::string& name, int& error, std::string& whyNot);
// The same for a file of another kind (`extension` as ".txt", lower case):
// to create (a new name) or to read (a regular file of the folder itself,
// not a link).
enum class RemoteFileUse { Create, Read };
QString remoteFolderFile(const FeatureSettings& f, const std::string& name, const char* extension, RemoteFileUse use,
                         int& error, std::string& whyNot);

// The signal generator (SOURce, OUTPut) and the response sweep (SWEep)
// (window/RemoteGenerator.cpp).
void addGeneratorCommands(scpi::CommandTable& table, TScopeForm& form);

// The log sweep's options and results (window/RemoteSweep.cpp); the
// generator's commands add them.
void addSweepCommands(scpi::CommandTable& table, TScopeForm& form);

// The generator as it starts up: its output off, a running sweep ended and
// its settings back at their start-up values (part of *RST).
void resetGenerator(TScopeForm& form);

// The identity *IDN? answers: maker, model, serial 0, version.
const char* remoteIdentity();

}  // namespace varmolen
