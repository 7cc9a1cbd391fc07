// Source rasters streamed into elevation grids: rows of samples of one numeric type, in host
// byte order, top row first, go through one value mapping (ElevationOf) into a target grid
// the caller owns, at full size or reduced by area average (--fit). Only one source row is
// held at a time, plus two rows of sums when reducing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "heightmap.h"

namespace zumeld_formats {

enum class SampleType { kInt8, kUInt8, kInt16, kUInt16, kInt32, kUInt32, kFloat32, kFloat64 };

// Bytes a sample of the type takes.
int SampleBytes(SampleType type);

// The size a width x height raster is reduced to so that it fits in fitWidth x fitHeight,
// keeping its shape (each side rounded to the nearest cell, at least 1); the raster's own
// size when it fits already or fitWidth is 0 (no --fit). Requires: width, height >= 1.
std::pair<std::int64_t, std::int64_t> FitSize(std::int64_t width, std::int64_t height, int fitWidth,
                                              int fitHeight);

// The size of the map a width x height raster is read into under the options' --fit; throws
// Error naming `what` when that is more than a map holds. Requires: width, height >= 1.
std::pair<int, int> OutputSize(const std::string& what, std::int64_t width, std::int64_t height,
                               const ImportOptions& options);

// Where elevations go: cell (x, y) at cells[y * stride + x]. Owned by the caller.
struct ElevationTarget {
    short* cells = nullptr;
    std::ptrdiff_t stride = 0;
};
// Called once a reader knows the output size (and has checked the file against it); returns
// the target or throws.
using TargetMaker = std::function<ElevationTarget(int width, int height)>;

// Takes the rows of a sourceWidth x sourceHeight raster and writes an outWidth x outHeight
// grid of elevations into the target. At the same size each value is mapped as it is; when
// smaller, each output cell is the area-weighted average of the source values it covers
// (cells partly covered count by the part), no-data cells left out; a cell with no valid
// value is sea. No-data: NaN, or a value equal to `nodata` (also after rounding to float for
// float32 samples). Once the last row is in, what the mapping met goes to options.report
// when it is set.
// Requires: 1 <= outWidth <= sourceWidth, 1 <= outHeight <= sourceHeight; the target holds
// the output grid.
class RasterSink {
  public:
    RasterSink(std::int64_t sourceWidth, std::int64_t sourceHeight, int outWidth, int outHeight,
               SampleType type, std::optional<double> nodata, const ImportOptions& options,
               ElevationTarget target);
    // The next source row: sourceWidth samples. Requires: fewer than sourceHeight rows so far.
    void PutRow(const void* samples);
    std::int64_t RowsDone() const { return row_; }

  private:
    bool IsNoData(double v) const { return hasNodata_ && (v == nodata_ || v == nodataAsFloat_); }
    double Value(const unsigned char* s, std::int64_t x) const;  // NaN for no-data
    short Map(double v);  // ElevationOf, noted in the report; NaN is sea
    void MapRow(const unsigned char* s, short* out);
    template <class T>
    void MapRowOf(const unsigned char* s, short* out);  // MapRow for 32- and 64-bit samples
    void Finish();  // after the last row: the report made and handed over
    template <class T>
    void SumAcross(const unsigned char* s);  // one source row's weighted sums across
    void Reduce(const unsigned char* s);
    void FinishOutputRow();

    std::int64_t srcW_, srcH_;
    int outW_, outH_;
    SampleType type_;
    bool hasNodata_;
    double nodata_, nodataAsFloat_;
    ImportOptions options_;
    ElevationTarget target_;
    std::vector<short> table_;  // the elevation of every 8- and 16-bit sample, no-data as sea
    std::vector<std::uint64_t> counts_;  // how many of each 8- or 16-bit sample were mapped
    // int16 samples each mapped to itself, none clamped, no no-data (the identity mapping):
    // rows are copied, and the report needs only their range, not the counts.
    bool copiesRows_ = false;
    short lowest_ = 32767, highest_ = -32768;
    MappingReport report_;
    std::int64_t row_ = 0;
    // Reduction: the weighted sums of output rows outRow_ and outRow_ + 1, their weights, and
    // one source row's sums across.
    int outRow_ = 0;
    std::vector<double> sum_[2], weight_[2], rowSum_, rowWeight_;
};

}  // namespace zumeld_formats
