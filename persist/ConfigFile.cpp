#include "persist/ConfigFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <type_traits>

namespace varmolen {

// The layout must stay packed, in order, and exactly as wide as the state's
// fields, or a file written by one build would be misread by another.
namespace {

constexpr bool fieldsArePacked()
{
    std::size_t next = 0;
    for (std::size_t i = 0; i < kConfigFields.size(); ++i) {
        if (kConfigFields[i].field != static_cast<ConfigField>(i) || kConfigFields[i].offset != next)
            return false;
        next += kConfigFields[i].width;
    }
    return next == kConfigRecordBytes;
}
static_assert(fieldsArePacked());

#define VARMOLEN_CONFIG_WIDTH_CHECK(name, offset, width)                                  \
    static_assert(sizeof(decltype(InstrumentSettings::name)) == (width), #name " width"); \
    static_assert(std::is_integral_v<decltype(InstrumentSettings::name)>, #name " type");
VARMOLEN_CONFIG_FIELDS(VARMOLEN_CONFIG_WIDTH_CHECK)
#undef VARMOLEN_CONFIG_WIDTH_CHECK

// Calls fn with a reference to the member of `values` that persists field f.
// A value outside the enumeration reaches no member.
template <class Values, class Fn>
void withField(Values& values, ConfigField f, Fn&& fn)
{
    switch (f) {
#define VARMOLEN_CONFIG_CASE(name, offset, width) \
    case ConfigField::name:                       \
        fn(values.name);                          \
        return;
        VARMOLEN_CONFIG_FIELDS(VARMOLEN_CONFIG_CASE)
#undef VARMOLEN_CONFIG_CASE
    }
}

template <class T>
void putLittleEndian(std::uint8_t* out, T value)
{
    using U = std::make_unsigned_t<T>;
    const std::uint64_t bits = static_cast<U>(value);
    for (std::size_t i = 0; i < sizeof(T); ++i)
        out[i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

template <class T>
T getLittleEndian(const std::uint8_t* in)
{
    using U = std::make_unsigned_t<T>;
    std::uint64_t bits = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i)
        bits |= std::uint64_t{in[i]} << (8 * i);
    // Unsigned to signed of the same width keeps the two's-complement bits.
    return static_cast<T>(static_cast<U>(bits));
}

bool isRecordingRate(std::uint32_t rate) { return rate == 11025 || rate == 22050 || rate == 44100; }

bool isMarkerColumn(std::int32_t column) { return column >= 0 && column <= kMarkerColumnMax; }

void clampInto(std::int32_t& value, std::int32_t lo, std::int32_t hi, ConfigField f, std::uint64_t& changed)
{
    if (value < lo) {
        value = lo;
        changed |= configFieldBit(f);
    } else if (value > hi) {
        value = hi;
        changed |= configFieldBit(f);
    }
}

}  // namespace

ConfigValues captureConfiguration(const InstrumentSettings& s)
{
    ConfigValues v;
#define VARMOLEN_CONFIG_CAPTURE(name, offset, width) v.name = s.name;
    VARMOLEN_CONFIG_FIELDS(VARMOLEN_CONFIG_CAPTURE)
#undef VARMOLEN_CONFIG_CAPTURE
    // A rate of the Sample Rate menu lives in Varmolen.ini; the record keeps
    // the buttons' rate, which the record's readers know.
    if (s.features.sampleRate != 0 && v.sampleRate == s.features.sampleRate)
        v.sampleRate = s.buttonSampleRate;
    return v;
}

ConfigValues startupConfiguration()
{
    // The start-up values live in one place: a fresh set of settings holds them.
    const InstrumentSettings settings;
    return captureConfiguration(settings);
}

ConfigValues defaultConfiguration()
{
    // A working first picture on the built-in generator (a 1 kHz sine at half
    // scale on channel 1, a 250 Hz square at quarter scale on channel 2, both
    // through the line input): both channels on, each trace about 120 rows
    // tall about its own zero line with room to spare, triggered on channel 1
    // so the sine holds still, red and blue on the white background with the
    // graticule, at 44100 Hz. The dials stand where their traces fit; the
    // time base at the calibrated full span.
    ConfigValues v = startupConfiguration();
    v.chan1Enabled = 1;
    v.chan2Enabled = 1;
    v.chan1TimeGainDial = 8;   // gain 4: the sine swings 64 rows
    v.chan2TimeGainDial = 14;  // gain 7: the square swings 56 rows
    v.chan1FreqGainDial = 30;  // the spectra's peaks stay below the top
    v.chan2FreqGainDial = 30;
    v.timeBaseSetting = 100;
    v.sampleRate = 44100;
    v.inputSelect = kLineInput;
    v.triggerEnabled = 1;
    v.triggerChannel = 1;
    v.chan1Color = colour::kRed;
    v.chan2Color = colour::kBlue;
    v.backgroundScheme = kWhiteBackground;
    v.gridEnabled = 1;
    return v;
}

void storeConfigField(const ConfigValues& v, ConfigField f, InstrumentSettings& s)
{
    switch (f) {
#define VARMOLEN_CONFIG_STORE(name, offset, width) \
    case ConfigField::name:                        \
        s.name = v.name;                           \
        return;
        VARMOLEN_CONFIG_FIELDS(VARMOLEN_CONFIG_STORE)
#undef VARMOLEN_CONFIG_STORE
    }
}

std::int32_t configFieldValue(const InstrumentSettings& s, ConfigField f)
{
    switch (f) {
#define VARMOLEN_CONFIG_READ(name, offset, width) \
    case ConfigField::name:                       \
        return static_cast<std::int32_t>(s.name);
        VARMOLEN_CONFIG_FIELDS(VARMOLEN_CONFIG_READ)
#undef VARMOLEN_CONFIG_READ
    }
    return 0;
}

void setConfigField(InstrumentSettings& s, ConfigField f, std::int32_t value)
{
    switch (f) {
#define VARMOLEN_CONFIG_WRITE(name, offset, width)     \
    case ConfigField::name:                            \
        s.name = static_cast<decltype(s.name)>(value); \
        return;
        VARMOLEN_CONFIG_FIELDS(VARMOLEN_CONFIG_WRITE)
#undef VARMOLEN_CONFIG_WRITE
    }
}

void storeConfiguration(const ConfigValues& v, InstrumentSettings& s)
{
#define VARMOLEN_CONFIG_STORE_ALL(name, offset, width) s.name = v.name;
    VARMOLEN_CONFIG_FIELDS(VARMOLEN_CONFIG_STORE_ALL)
#undef VARMOLEN_CONFIG_STORE_ALL
}

ConfigRecord encodeConfiguration(const ConfigValues& v)
{
    ConfigRecord record{};
    for (const ConfigFieldInfo& info : kConfigFields) {
        withField(v, info.field, [&](const auto& member) { putLittleEndian(record.data() + info.offset, member); });
    }
    return record;
}

ConfigRecord encodeConfiguration(const InstrumentSettings& s) { return encodeConfiguration(captureConfiguration(s)); }

bool decodeField(std::span<const std::uint8_t> data, ConfigField f, ConfigValues& into)
{
    const auto index = static_cast<std::size_t>(f);
    if (index >= kConfigFieldCount)
        return false;
    const ConfigFieldInfo& info = kConfigFields[index];
    if (data.size() < info.offset + info.width)
        return false;  // cut by the end of the file: the field keeps its value
    withField(into, f, [&](auto& member) {
        member = getLittleEndian<std::remove_reference_t<decltype(member)>>(data.data() + info.offset);
    });
    return true;
}

DecodedConfiguration decodeConfiguration(std::span<const std::uint8_t> data, const ConfigValues& startup)
{
    DecodedConfiguration decoded{startup, 0};
    for (const ConfigFieldInfo& info : kConfigFields) {
        if (decodeField(data, info.field, decoded.values))
            decoded.present |= configFieldBit(info.field);
    }
    return decoded;
}

std::uint64_t sanitiseConfiguration(ConfigValues& v)
{
    std::uint64_t changed = 0;

    if (!isRecordingRate(v.sampleRate)) {
        v.sampleRate = kStartupSampleRate;
        changed |= configFieldBit(ConfigField::sampleRate);
    }

    const bool markersUsable =
        isMarkerColumn(v.marker1Pos) && isMarkerColumn(v.marker2Pos) && v.marker1Pos < v.marker2Pos;
    if (!markersUsable) {
        if (v.marker1Pos != kStartupMarker1Pos)
            changed |= configFieldBit(ConfigField::marker1Pos);
        if (v.marker2Pos != kStartupMarker2Pos)
            changed |= configFieldBit(ConfigField::marker2Pos);
        v.marker1Pos = kStartupMarker1Pos;
        v.marker2Pos = kStartupMarker2Pos;
    }

    clampInto(v.chan1TimeOffset, 0, kConfigOffsetMax, ConfigField::chan1TimeOffset, changed);
    clampInto(v.chan2TimeOffset, 0, kConfigOffsetMax, ConfigField::chan2TimeOffset, changed);
    clampInto(v.chan1FreqOffset, 0, kConfigOffsetMax, ConfigField::chan1FreqOffset, changed);
    clampInto(v.chan2FreqOffset, 0, kConfigOffsetMax, ConfigField::chan2FreqOffset, changed);
    clampInto(v.chan1TimeGainDial, 0, kConfigDialMax, ConfigField::chan1TimeGainDial, changed);
    clampInto(v.chan2TimeGainDial, 0, kConfigDialMax, ConfigField::chan2TimeGainDial, changed);
    clampInto(v.chan1FreqGainDial, 0, kConfigDialMax, ConfigField::chan1FreqGainDial, changed);
    clampInto(v.chan2FreqGainDial, 0, kConfigDialMax, ConfigField::chan2FreqGainDial, changed);
    clampInto(v.timeBaseSetting, 0, kConfigDialMax, ConfigField::timeBaseSetting, changed);
    return changed;
}

// ---------------------------------------------------------------------------
// File access

namespace {

// Opens a regular file for reading without blocking (a pipe at the path would
// otherwise wait for a writer); -1 for anything else.
int openRegularForReading(const std::string& path)
{
    if (path.empty())
        return -1;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

bool isReadableFile(const std::string& path)
{
    const int fd = openRegularForReading(path);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

std::optional<ConfigFileContents> readConfigFile(const std::string& path)
{
    const int fd = openRegularForReading(path);
    if (fd < 0)
        return std::nullopt;
    ConfigFileContents contents;
    while (contents.size < kConfigRecordBytes) {
        const ssize_t n = ::read(fd, contents.bytes.data() + contents.size, kConfigRecordBytes - contents.size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0)
            break;
        contents.size += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return contents;
}

namespace {

std::string describeErrno(const std::string& what, int error) { return what + ": " + std::strerror(error); }

// The file that is actually replaced: the target of a symbolic link, so a
// settings file kept elsewhere and linked into place stays where it is.
std::string resolveTarget(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(path.c_str(), resolved) != nullptr)
            return resolved;
    }
    return path;
}

bool writeAll(int fd, const std::uint8_t* data, std::size_t size)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0) {
            errno = ENOSPC;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Overwrites an existing file from its first byte and cuts it to the new
// length. Rewriting a small file of the same length needs no new room on the
// disk, so a full disk cannot cut it.
bool writeInPlace(const std::string& target, std::span<const std::uint8_t> bytes, std::string& whyNot)
{
    const int fd = ::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        whyNot = describeErrno("cannot write " + target, errno);
        return false;
    }
    const bool done = writeAll(fd, bytes.data(), bytes.size()) &&
                      ::ftruncate(fd, static_cast<off_t>(bytes.size())) == 0 && ::fsync(fd) == 0;
    const int error = errno;
    const bool closed = ::close(fd) == 0;
    if (!done || !closed) {
        whyNot = describeErrno("cannot write " + target, done ? errno : error);
        return false;
    }
    return true;
}

// A name for the temporary file that no one else is likely to pick; the
// exclusive create retries when it is taken anyway.
std::string temporaryName(const std::string& directory, const std::string& base, unsigned attempt)
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const unsigned long long tag = (static_cast<unsigned long long>(::getpid()) << 32) ^
                                   static_cast<unsigned long long>(now.tv_nsec) ^
                                   (static_cast<unsigned long long>(attempt) << 20);
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".tmp-%llx", tag);
    return directory + "/." + base + suffix;
}

}  // namespace

bool writeFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes, std::string& whyNot)
{
    whyNot.clear();
    if (path.empty()) {
        whyNot = "no file name";
        return false;
    }
    const std::string target = resolveTarget(path);
    const std::size_t slash = target.rfind('/');
    const std::string directory =
        slash == std::string::npos ? std::string(".") : (slash == 0 ? std::string("/") : target.substr(0, slash));
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    if (base.empty() || base == "." || base == "..") {
        whyNot = "not a file name";
        return false;
    }

    // A file that cannot be written stays as it is: its owner may have
    // frozen the settings by taking every write permission away (which
    // stops the superuser too, who passes any other permission check).
    struct stat old {};
    const bool replacesFile = ::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode);
    if (replacesFile && ((old.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0)) {
        whyNot = target + " is write-protected";
        return false;
    }

    std::string temporary;
    int fd = -1;
    for (unsigned attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        temporary = temporaryName(directory, base, attempt);
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        const int error = errno;
        // A writable file in a directory that refuses new files is saved
        // where it is.
        if (replacesFile && (error == EACCES || error == EPERM))
            return writeInPlace(target, bytes, whyNot);
        whyNot = describeErrno("cannot create a file in " + directory, error);
        return false;
    }

    // The new file takes over the permissions of the one it replaces.
    if (replacesFile)
        (void)::fchmod(fd, old.st_mode & 07777);

    auto fail = [&](const std::string& what) {
        const int error = errno;
        if (fd >= 0)
            ::close(fd);
        ::unlink(temporary.c_str());
        whyNot = describeErrno(what, error);
        return false;
    };

    if (!writeAll(fd, bytes.data(), bytes.size()))
        return fail("cannot write " + temporary);
    if (::fsync(fd) != 0)
        return fail("cannot flush " + temporary);
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0)
        return fail("cannot close " + temporary);
    if (::rename(temporary.c_str(), target.c_str()) != 0)
        return fail("cannot replace " + target);

    // Make the rename itself durable; the file is complete either way.
    const int dirFd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        (void)::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

bool writeConfigFileAtomically(const std::string& path, const ConfigRecord& bytes, std::string& whyNot)
{
    return writeFileAtomically(path, bytes, whyNot);
}

bool writeConfigFileAtomically(const std::string& path, const ConfigRecord& bytes)
{
    std::string ignored;
    return writeConfigFileAtomically(path, bytes, ignored);
}

bool saveConfiguration(const std::string& path, const InstrumentSettings& s)
{
    if (path.empty())
        return false;
    return writeConfigFileAtomically(path, encodeConfiguration(s));
}

}  // namespace varmolen
