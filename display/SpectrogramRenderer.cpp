#include "display/SpectrogramRenderer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace varmolen {

namespace {

// Matplotlib's viridis map (its 256 entries, released under CC0 by its
// authors, Stéfan van der Walt and Nathaniel Smith), each channel rounded
// to 8 bits, as 0xRRGGBB from the bottom of the map to its top.
constexpr std::uint32_t kViridis[256] = {
    0x440154u, 0x440256u, 0x450457u, 0x450559u, 0x46075Au, 0x46085Cu, 0x460A5Du, 0x460B5Eu, 0x470D60u, 0x470E61u,
    0x471063u, 0x471164u, 0x471365u, 0x481467u, 0x481668u, 0x481769u, 0x48186Au, 0x481A6Cu, 0x481B6Du, 0x481C6Eu,
    0x481D6Fu, 0x481F70u, 0x482071u, 0x482173u, 0x482374u, 0x482475u, 0x482576u, 0x482677u, 0x482878u, 0x482979u,
    0x472A7Au, 0x472C7Au, 0x472D7Bu, 0x472E7Cu, 0x472F7Du, 0x46307Eu, 0x46327Eu, 0x46337Fu, 0x463480u, 0x453581u,
    0x453781u, 0x453882u, 0x443983u, 0x443A83u, 0x443B84u, 0x433D84u, 0x433E85u, 0x423F85u, 0x424086u, 0x424186u,
    0x414287u, 0x414487u, 0x404588u, 0x404688u, 0x3F4788u, 0x3F4889u, 0x3E4989u, 0x3E4A89u, 0x3E4C8Au, 0x3D4D8Au,
    0x3D4E8Au, 0x3C4F8Au, 0x3C508Bu, 0x3B518Bu, 0x3B528Bu, 0x3A538Bu, 0x3A548Cu, 0x39558Cu, 0x39568Cu, 0x38588Cu,
    0x38598Cu, 0x375A8Cu, 0x375B8Du, 0x365C8Du, 0x365D8Du, 0x355E8Du, 0x355F8Du, 0x34608Du, 0x34618Du, 0x33628Du,
    0x33638Du, 0x32648Eu, 0x32658Eu, 0x31668Eu, 0x31678Eu, 0x31688Eu, 0x30698Eu, 0x306A8Eu, 0x2F6B8Eu, 0x2F6C8Eu,
    0x2E6D8Eu, 0x2E6E8Eu, 0x2E6F8Eu, 0x2D708Eu, 0x2D718Eu, 0x2C718Eu, 0x2C728Eu, 0x2C738Eu, 0x2B748Eu, 0x2B758Eu,
    0x2A768Eu, 0x2A778Eu, 0x2A788Eu, 0x29798Eu, 0x297A8Eu, 0x297B8Eu, 0x287C8Eu, 0x287D8Eu, 0x277E8Eu, 0x277F8Eu,
    0x27808Eu, 0x26818Eu, 0x26828Eu, 0x26828Eu, 0x25838Eu, 0x25848Eu, 0x25858Eu, 0x24868Eu, 0x24878Eu, 0x23888Eu,
    0x23898Eu, 0x238A8Du, 0x228B8Du, 0x228C8Du, 0x228D8Du, 0x218E8Du, 0x218F8Du, 0x21908Du, 0x21918Cu, 0x20928Cu,
    0x20928Cu, 0x20938Cu, 0x1F948Cu, 0x1F958Bu, 0x1F968Bu, 0x1F978Bu, 0x1F988Bu, 0x1F998Au, 0x1F9A8Au, 0x1E9B8Au,
    0x1E9C89u, 0x1E9D89u, 0x1F9E89u, 0x1F9F88u, 0x1FA088u, 0x1FA188u, 0x1FA187u, 0x1FA287u, 0x20A386u, 0x20A486u,
    0x21A585u, 0x21A685u, 0x22A785u, 0x22A884u, 0x23A983u, 0x24AA83u, 0x25AB82u, 0x25AC82u, 0x26AD81u, 0x27AD81u,
    0x28AE80u, 0x29AF7Fu, 0x2AB07Fu, 0x2CB17Eu, 0x2DB27Du, 0x2EB37Cu, 0x2FB47Cu, 0x31B57Bu, 0x32B67Au, 0x34B679u,
    0x35B779u, 0x37B878u, 0x38B977u, 0x3ABA76u, 0x3BBB75u, 0x3DBC74u, 0x3FBC73u, 0x40BD72u, 0x42BE71u, 0x44BF70u,
    0x46C06Fu, 0x48C16Eu, 0x4AC16Du, 0x4CC26Cu, 0x4EC36Bu, 0x50C46Au, 0x52C569u, 0x54C568u, 0x56C667u, 0x58C765u,
    0x5AC864u, 0x5CC863u, 0x5EC962u, 0x60CA60u, 0x63CB5Fu, 0x65CB5Eu, 0x67CC5Cu, 0x69CD5Bu, 0x6CCD5Au, 0x6ECE58u,
    0x70CF57u, 0x73D056u, 0x75D054u, 0x77D153u, 0x7AD151u, 0x7CD250u, 0x7FD34Eu, 0x81D34Du, 0x84D44Bu, 0x86D549u,
    0x89D548u, 0x8BD646u, 0x8ED645u, 0x90D743u, 0x93D741u, 0x95D840u, 0x98D83Eu, 0x9BD93Cu, 0x9DD93Bu, 0xA0DA39u,
    0xA2DA37u, 0xA5DB36u, 0xA8DB34u, 0xAADC32u, 0xADDC30u, 0xB0DD2Fu, 0xB2DD2Du, 0xB5DE2Bu, 0xB8DE29u, 0xBADE28u,
    0xBDDF26u, 0xC0DF25u, 0xC2DF23u, 0xC5E021u, 0xC8E020u, 0xCAE11Fu, 0xCDE11Du, 0xD0E11Cu, 0xD2E21Bu, 0xD5E21Au,
    0xD8E219u, 0xDAE319u, 0xDDE318u, 0xDFE318u, 0xE2E418u, 0xE5E419u, 0xE7E419u, 0xEAE51Au, 0xECE51Bu, 0xEFE51Cu,
    0xF1E51Du, 0xF4E61Eu, 0xF6E620u, 0xF8E621u, 0xFBE723u, 0xFDE725u,
};

// The map is interpolated linearly between its entries in quarter steps:
// 1021 colours from the bottom to the top, finer than 8-bit channels tell
// apart between two neighbouring entries. Laid out at compile time, so that
// a level's colour costs one look-up and the drawing needs no memory of its
// own.
constexpr int kQuarters = 4;
constexpr int kMapTop = 255 * kQuarters;  // the last step

constexpr std::array<std::uint32_t, kMapTop + 1> makeMap()
{
    std::array<std::uint32_t, kMapTop + 1> map{};
    for (int step = 0; step <= kMapTop; ++step) {
        const int entry = std::min(step / kQuarters, 254);
        const int part = step - entry * kQuarters;  // 0..4
        std::uint32_t word = 0;
        for (int shift = 0; shift < 24; shift += 8) {
            const auto a = static_cast<int>((kViridis[entry] >> (16 - shift)) & 0xFFu);
            const auto b = static_cast<int>((kViridis[entry + 1] >> (16 - shift)) & 0xFFu);
            // Rounded to nearest, a half away from the lower entry.
            const int v = (a * (kQuarters - part) + b * part + kQuarters / 2) / kQuarters;
            word |= static_cast<std::uint32_t>(v) << shift;  // red first: 0x00BBGGRR
        }
        map[static_cast<std::size_t>(step)] = word;
    }
    return map;
}
constexpr std::array<std::uint32_t, kMapTop + 1> kMap = makeMap();

// The same as the bitmap stores it.
constexpr std::array<std::uint32_t, kMapTop + 1> makeStoredMap()
{
    std::array<std::uint32_t, kMapTop + 1> stored{};
    for (std::size_t step = 0; step < stored.size(); ++step)
        stored[step] = Raster::storedWord(kMap[step]);
    return stored;
}
constexpr std::array<std::uint32_t, kMapTop + 1> kStoredMap = makeStoredMap();

// The nearest step to `at` steps up the map, clamped to it; the bottom for
// NaN (a level of nothing at all).
int nearestStep(double at)
{
    double rounded = at + 0.5;
    rounded = rounded > 0.0 ? rounded : 0.0;
    rounded = rounded < kMapTop ? rounded : kMapTop;
    return static_cast<int>(rounded);
}

// A level range as the map's steps: the drawing and levelColour share it,
// so that a pixel has exactly its level's colour. A range of no width (or
// none at all) splits at the top: a level there or above is the top colour.
struct LevelScale {
    double floorDb = 0.0;
    double stepsPerDb = 0.0;

    LevelScale(double topDb, double rangeDb)
    {
        constexpr double kNarrowest = 1e-9;
        const double range = rangeDb > kNarrowest ? rangeDb : kNarrowest;
        floorDb = topDb - range;
        stepsPerDb = kMapTop / range;
    }
    std::uint32_t colour(double db) const { return kMap[step(db)]; }
    std::uint32_t storedColour(double db) const { return kStoredMap[step(db)]; }
    std::size_t step(double db) const { return static_cast<std::size_t>(nearestStep((db - floorDb) * stepsPerDb)); }
};

// Where the parts of a spectrogram `width` pixels wide lie: the image over
// columns [0, imageWidth), the colour bar over [barFrom, width); the gap
// between them is left as it is.
struct Layout {
    int imageWidth = 0;
    int barFrom = 0;
};

Layout layoutFor(int width)
{
    const int scale = std::max(1, static_cast<int>(std::lround(static_cast<double>(width) / Raster::kWidth)));
    const int barFrom = std::max(0, width - kColourBarColumns * scale);
    return {std::max(0, barFrom - kColourBarGap * scale), barFrom};
}

// The time pixel row y stands for: the middle of its share of `seconds`.
double rowTime(const SpectrogramHistory& history, int top, int bottom, double seconds, int y)
{
    return history.seconds(0) - (y - top + 0.5) * seconds / (bottom - top);
}

// The history row nearest in time to `t` (the older one on a tie), as ago;
// -1 when `t` is older than every row.
int nearestRow(const SpectrogramHistory& history, double t)
{
    const int ago = history.rowAt(t);
    if (ago > 0 && history.seconds(ago - 1) - t < t - history.seconds(ago))
        return ago - 1;
    return ago;
}

// One pixel row of the image: pixel x takes the level of history column
// floor(x * columns / imageWidth), stepped without a division per pixel.
// With fewer columns than pixels each column is coloured once and laid over
// its run of pixels, from ceil(c * imageWidth / columns) on; with more, each
// pixel looks up its own.
void drawImageRow(std::uint32_t* out, const float* levels, int columns, int imageWidth, const LevelScale& scale)
{
    if (columns < imageWidth) {
        const int whole = imageWidth / columns;
        const int rest = imageWidth % columns;
        int x = 0;
        int endWhole = 0;  // (c + 1) * imageWidth = endWhole * columns + endRest
        int endRest = 0;
        for (int c = 0; c < columns; ++c) {
            endWhole += whole;
            endRest += rest;
            if (endRest >= columns) {
                endRest -= columns;
                ++endWhole;
            }
            const int end = endWhole + (endRest > 0 ? 1 : 0);
            const std::uint32_t word = scale.storedColour(static_cast<double>(levels[c]));
            for (; x < end; ++x)
                out[x] = word;
        }
        return;
    }
    const int whole = columns / imageWidth;
    const int rest = columns % imageWidth;
    int column = 0;
    int carried = 0;  // (x * columns) % imageWidth
    for (int x = 0; x < imageWidth; ++x) {
        out[x] = scale.storedColour(static_cast<double>(levels[column]));
        column += whole;
        carried += rest;
        if (carried >= imageWidth) {
            carried -= imageWidth;
            ++column;
        }
    }
}

}  // namespace

int spectrogramImageWidth(int width) { return layoutFor(width).imageWidth; }

std::uint32_t colourMapWord(double place) { return kMap[static_cast<std::size_t>(nearestStep(place * kMapTop))]; }

std::uint32_t levelColour(double db, double topDb, double rangeDb) { return LevelScale(topDb, rangeDb).colour(db); }

void drawSpectrogram(Raster& r, const SpectrogramHistory& history, int top, int bottom, double seconds, double topDb,
                     double rangeDb)
{
    const int width = r.width();
    const int from = std::max(top, 0);
    const int to = std::min(bottom, r.height());
    if (from >= to)
        return;
    const Layout layout = layoutFor(width);
    const LevelScale scale(topDb, rangeDb);
    // Written straight into the bitmap's stored words, through the data()
    // that tells the bitmap so: too many pixels for its notes of single
    // writes, so it counts every row as changed, its next clear paints every
    // pixel and the pass draws the graticule again itself.
    std::uint32_t* const pixels = r.data();
    const auto rowStart = [&](int y) { return pixels + static_cast<std::size_t>(y) * static_cast<std::size_t>(width); };

    if (!history.empty() && seconds > 0.0 && layout.imageWidth > 0) {
        // A history row over several pixel rows is coloured once and copied.
        int shownAgo = -1;
        const std::uint32_t* shown = nullptr;
        const std::size_t rowBytes = static_cast<std::size_t>(layout.imageWidth) * sizeof(std::uint32_t);
        for (int y = from; y < to; ++y) {
            const int ago = nearestRow(history, rowTime(history, top, bottom, seconds, y));
            if (ago < 0)
                break;  // older than the history: this row and those below stay
            std::uint32_t* const out = rowStart(y);
            if (ago == shownAgo) {
                std::memcpy(out, shown, rowBytes);
            } else {
                drawImageRow(out, history.row(ago), history.columns(), layout.imageWidth, scale);
                shownAgo = ago;
            }
            shown = out;
        }
    }

    // The colour bar: the top of the range on the first row, its bottom on
    // the last.
    const int span = bottom - 1 - top;
    for (int y = from; y < to; ++y) {
        const double db = span > 0 ? topDb - rangeDb * (y - top) / span : topDb;
        const std::uint32_t word = scale.storedColour(db);
        std::uint32_t* const out = rowStart(y);
        std::fill(out + layout.barFrom, out + width, word);
    }
}

std::optional<SpectrogramReading> spectrogramAt(const SpectrogramHistory& history, int width, int top, int bottom,
                                                double seconds, int x, int y)
{
    const Layout layout = layoutFor(width);
    if (history.empty() || !(seconds > 0.0) || y < top || y >= bottom || x < 0 || x >= layout.imageWidth)
        return std::nullopt;
    const int ago = nearestRow(history, rowTime(history, top, bottom, seconds, y));
    if (ago < 0)
        return std::nullopt;
    SpectrogramReading reading;
    reading.secondsAgo = history.seconds(0) - history.seconds(ago);
    reading.column = static_cast<int>(static_cast<long long>(x) * history.columns() / layout.imageWidth);
    reading.levelDb = history.row(ago)[reading.column];
    return reading;
}

namespace {

// A level to a tenth of a dB, the tenth written only where it is not 0:
// "-60 dB", "-37.5 dB", never "-0 dB".
std::string barText(double db, char decimalSeparator)
{
    const long long tenths = std::llround(db * 10.0);
    const long long size = tenths < 0 ? -tenths : tenths;
    std::string text = tenths < 0 ? "-" : "";
    text += std::to_string(size / 10);
    if (size % 10 != 0) {
        text += decimalSeparator;
        text += static_cast<char>('0' + size % 10);
    }
    return text + " dB";
}

}  // namespace

std::vector<BarLabel> colourBarLabels(int top, int bottom, double topDb, double rangeDb, int count,
                                      char decimalSeparator)
{
    std::vector<BarLabel> labels;
    if (bottom <= top)
        return labels;
    count = std::max(count, 2);
    labels.reserve(static_cast<std::size_t>(count));
    const int span = bottom - 1 - top;
    for (int i = 0; i < count; ++i) {
        const double place = static_cast<double>(i) / (count - 1);  // from the top
        labels.push_back(
            {top + static_cast<int>(std::lround(span * place)), barText(topDb - rangeDb * place, decimalSeparator)});
    }
    return labels;
}

}  // namespace varmolen
