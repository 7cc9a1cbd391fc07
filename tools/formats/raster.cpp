#include "raster.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "error.h"

namespace zumeld_formats {

namespace {

// ElevationOf, telling whether the rounded value fell outside -32768..32767. The rounding
// (half away from zero) is done here rather than by std::round, a call into the maths
// library that took most of a float raster's import: past the halves that round out of
// range a value is clamped, and inside them the value minus its integer part is exact.
short ElevationOf(double value, const ImportOptions& o, bool& clamped) {
    const double v = value * o.scale + o.offset;
    clamped = v >= 32767.5 || v <= -32768.5;
    short e = 0;
    if (v >= 32767.5) {
        e = 32767;
    } else if (v <= -32768.5) {
        e = -32768;
    } else if (!std::isnan(v)) {
        const int whole = static_cast<int>(v);  // toward zero
        const double part = v - whole;
        e = static_cast<short>(whole + (part >= 0.5) - (part <= -0.5));
    }
    if (o.hasSeaLevel && e <= o.seaLevel) e = 0;
    return e;
}

}  // namespace

short ElevationOf(double value, const ImportOptions& o) {
    bool clamped;
    return ElevationOf(value, o, clamped);
}

double FittingScale(double lowest, double highest, double offset) {
    if (!(offset >= -32768.0 && offset <= 32767.0)) return 0.0;
    double s = std::numeric_limits<double>::infinity();
    if (highest > 0) s = std::min(s, (32767.0 - offset) / highest);
    if (lowest < 0) s = std::min(s, (32768.0 + offset) / -lowest);
    return std::isinf(s) ? 1.0 : s;
}

int SampleBytes(SampleType type) {
    switch (type) {
        case SampleType::kInt8:
        case SampleType::kUInt8:
            return 1;
        case SampleType::kInt16:
        case SampleType::kUInt16:
            return 2;
        case SampleType::kFloat64:
            return 8;
        default:
            return 4;
    }
}

std::pair<std::int64_t, std::int64_t> FitSize(std::int64_t width, std::int64_t height, int fitWidth,
                                              int fitHeight) {
    if (fitWidth < 1 || fitHeight < 1 || (width <= fitWidth && height <= fitHeight))
        return {width, height};
    // The side that limits keeps its whole length; the other is scaled by the same factor and
    // rounded half up, in integers (sides below 2^32 and fit sides below 2^15 stay in range).
    const auto rounded = [](std::int64_t num, std::int64_t den) {
        return std::max<std::int64_t>(1, (2 * num + den) / (2 * den));
    };
    if (fitWidth * height <= fitHeight * width)
        return {fitWidth,
                std::min<std::int64_t>(fitHeight, rounded(height * std::int64_t{fitWidth}, width))};
    return {std::min<std::int64_t>(fitWidth, rounded(width * std::int64_t{fitHeight}, height)),
            fitHeight};
}

std::pair<int, int> OutputSize(const std::string& what, std::int64_t width, std::int64_t height,
                               const ImportOptions& o) {
    const auto size = [](std::int64_t w, std::int64_t h) {
        return std::to_string(w) + " x " + std::to_string(h);
    };
    const auto [ow, oh] = FitSize(width, height, o.fitWidth, o.fitHeight);
    if (!MapCanHold(ow, oh)) {
        if (o.fitWidth > 0)
            throw Error(what, "--fit gives " + size(ow, oh) + " cells, more than a map holds");
        throw Error(what, size(width, height) +
                              " cells is more than a map holds (at most 32767 a side, 32767 x "
                              "32766 in all); --fit WxH reduces it to fit");
    }
    return {static_cast<int>(ow), static_cast<int>(oh)};
}

namespace {

template <class T>
double Load(const unsigned char* s, std::int64_t x) {
    T v;
    std::memcpy(&v, s + x * static_cast<std::int64_t>(sizeof(T)), sizeof(T));
    return static_cast<double>(v);
}

}  // namespace

RasterSink::RasterSink(std::int64_t sourceWidth, std::int64_t sourceHeight, int outWidth,
                       int outHeight, SampleType type, std::optional<double> nodata,
                       const ImportOptions& options, ElevationTarget target)
    : srcW_(sourceWidth),
      srcH_(sourceHeight),
      outW_(outWidth),
      outH_(outHeight),
      type_(type),
      hasNodata_(nodata.has_value()),
      nodata_(nodata.value_or(0.0)),
      nodataAsFloat_(nodata_),
      options_(options),
      target_(target) {
    if (type == SampleType::kFloat32 && std::fabs(nodata_) <= FLT_MAX)
        nodataAsFloat_ = static_cast<float>(nodata_);
    // Every 8- and 16-bit sample is mapped once, through the one rule; the table is indexed
    // by the sample's bits.
    const int bytes = SampleBytes(type);
    if (bytes <= 2) {
        table_.resize(std::size_t{1} << (8 * bytes));
        for (std::size_t k = 0; k < table_.size(); ++k) {
            const std::uint16_t wide = static_cast<std::uint16_t>(k);
            const unsigned char narrow = static_cast<unsigned char>(k);
            const double v =
                Value(bytes == 1 ? &narrow : reinterpret_cast<const unsigned char*>(&wide), 0);
            table_[k] = std::isnan(v) ? 0 : ElevationOf(v, options_);
        }
        copiesRows_ = type == SampleType::kInt16 && !hasNodata_;
        for (std::size_t k = 0; k < table_.size() && copiesRows_; ++k) {
            bool clamped;
            const short sample = static_cast<short>(static_cast<std::uint16_t>(k));
            copiesRows_ = ElevationOf(sample, options_, clamped) == sample && !clamped;
        }
        if (outW_ == srcW_ && outH_ == srcH_ && !copiesRows_) counts_.assign(table_.size(), 0);
    }
    if (outW_ < srcW_ || outH_ < srcH_) {
        for (int k = 0; k < 2; ++k) {
            sum_[k].assign(static_cast<std::size_t>(outW_), 0.0);
            weight_[k].assign(static_cast<std::size_t>(outW_), 0.0);
        }
        rowSum_.resize(static_cast<std::size_t>(outW_));
        rowWeight_.resize(static_cast<std::size_t>(outW_));
    }
}

double RasterSink::Value(const unsigned char* s, std::int64_t x) const {
    double v = 0;
    switch (type_) {
        case SampleType::kInt8:
            v = Load<std::int8_t>(s, x);
            break;
        case SampleType::kUInt8:
            v = Load<std::uint8_t>(s, x);
            break;
        case SampleType::kInt16:
            v = Load<std::int16_t>(s, x);
            break;
        case SampleType::kUInt16:
            v = Load<std::uint16_t>(s, x);
            break;
        case SampleType::kInt32:
            v = Load<std::int32_t>(s, x);
            break;
        case SampleType::kUInt32:
            v = Load<std::uint32_t>(s, x);
            break;
        case SampleType::kFloat32:
            v = Load<float>(s, x);
            break;
        case SampleType::kFloat64:
            v = Load<double>(s, x);
            break;
    }
    return IsNoData(v) ? std::numeric_limits<double>::quiet_NaN() : v;
}

short RasterSink::Map(double v) {
    if (std::isnan(v)) return 0;
    if (report_.mapped++ == 0) report_.lowest = report_.highest = v;
    report_.lowest = std::min(report_.lowest, v);
    report_.highest = std::max(report_.highest, v);
    bool clamped;
    const short e = ElevationOf(v, options_, clamped);
    report_.clamped += clamped;
    return e;
}

// 8- and 16-bit samples go through the table, counted by value; the report is made from
// the counts at the end.
void RasterSink::MapRow(const unsigned char* s, short* out) {
    const int n = outW_;
    if (copiesRows_) {
        std::memcpy(out, s, static_cast<std::size_t>(n) * 2);
        short low = lowest_, high = highest_;
        for (int x = 0; x < n; ++x) low = std::min(low, out[x]), high = std::max(high, out[x]);
        lowest_ = low, highest_ = high;
    } else if (type_ == SampleType::kInt16 || type_ == SampleType::kUInt16) {
        for (int x = 0; x < n; ++x) {
            std::uint16_t v;
            std::memcpy(&v, s + 2 * x, 2);
            out[x] = table_[v];
            ++counts_[v];
        }
    } else if (!table_.empty()) {
        for (int x = 0; x < n; ++x) {
            out[x] = table_[s[x]];
            ++counts_[s[x]];
        }
    } else {
        switch (type_) {  // once a row, not once a sample as Value does
            case SampleType::kInt32:
                return MapRowOf<std::int32_t>(s, out);
            case SampleType::kUInt32:
                return MapRowOf<std::uint32_t>(s, out);
            case SampleType::kFloat32:
                return MapRowOf<float>(s, out);
            default:
                return MapRowOf<double>(s, out);
        }
    }
}

template <class T>
void RasterSink::MapRowOf(const unsigned char* s, short* out) {
    for (int x = 0; x < outW_; ++x) {
        const double v = Load<T>(s, x);
        out[x] = Map(IsNoData(v) ? std::numeric_limits<double>::quiet_NaN() : v);
    }
}

void RasterSink::Finish() {
    if (copiesRows_ && sum_[0].empty()) {
        report_.mapped = static_cast<std::uint64_t>(srcW_ * srcH_);
        report_.lowest = lowest_;
        report_.highest = highest_;
    }
    const int bytes = SampleBytes(type_);
    for (std::size_t k = 0; k < counts_.size(); ++k) {
        if (counts_[k] == 0) continue;
        // The sample of value k as the raster holds it, in a buffer wide enough for any type.
        unsigned char sample[8] = {};
        if (bytes == 1) {
            sample[0] = static_cast<unsigned char>(k);
        } else {
            const std::uint16_t wide = static_cast<std::uint16_t>(k);
            std::memcpy(sample, &wide, 2);
        }
        const double v = Value(sample, 0);
        if (std::isnan(v)) continue;
        if (report_.mapped == 0) report_.lowest = report_.highest = v;
        report_.mapped += counts_[k];
        report_.lowest = std::min(report_.lowest, v);
        report_.highest = std::max(report_.highest, v);
        bool clamped;
        ElevationOf(v, options_, clamped);
        if (clamped) report_.clamped += counts_[k];
    }
    if (options_.report) *options_.report = report_;
}

void RasterSink::PutRow(const void* samples) {
    if (row_ >= srcH_) return;  // past the raster: nothing of the target lies there
    const auto* s = static_cast<const unsigned char*>(samples);
    if (sum_[0].empty()) {
        MapRow(s, target_.cells + row_ * target_.stride);
    } else {
        Reduce(s);
    }
    if (++row_ == srcH_) Finish();
}

// Area average over integer coordinates scaled so that both grids' cell edges are whole:
// across, source column c covers [c * outW, (c + 1) * outW) and output column i covers
// [i * srcW, (i + 1) * srcW); down likewise. Each source value is weighted by the overlap.
template <class T>
void RasterSink::SumAcross(const unsigned char* s) {
    const std::int64_t w = srcW_, ow = outW_;
    for (std::int64_t i = 0; i < ow; ++i) {
        const std::int64_t x0 = i * w, x1 = x0 + w;
        double sum = 0, weight = 0;
        for (std::int64_t c = x0 / ow; c * ow < x1; ++c) {
            const double v = Load<T>(s, c);
            if (std::isnan(v) || IsNoData(v)) continue;
            const double wx =
                static_cast<double>(std::min((c + 1) * ow, x1) - std::max(c * ow, x0));
            sum += v * wx;
            weight += wx;
        }
        rowSum_[i] = sum;
        rowWeight_[i] = weight;
    }
}

void RasterSink::Reduce(const unsigned char* s) {
    switch (type_) {
        case SampleType::kInt8:
            SumAcross<std::int8_t>(s);
            break;
        case SampleType::kUInt8:
            SumAcross<std::uint8_t>(s);
            break;
        case SampleType::kInt16:
            SumAcross<std::int16_t>(s);
            break;
        case SampleType::kUInt16:
            SumAcross<std::uint16_t>(s);
            break;
        case SampleType::kInt32:
            SumAcross<std::int32_t>(s);
            break;
        case SampleType::kUInt32:
            SumAcross<std::uint32_t>(s);
            break;
        case SampleType::kFloat32:
            SumAcross<float>(s);
            break;
        case SampleType::kFloat64:
            SumAcross<double>(s);
            break;
    }
    const std::int64_t h = srcH_, oh = outH_;
    const std::int64_t y0 = row_ * oh, y1 = y0 + oh;
    for (std::int64_t j = y0 / h; j * h < y1; ++j) {
        while (j > outRow_ + 1) FinishOutputRow();
        const double wy = static_cast<double>(std::min((j + 1) * h, y1) - std::max(j * h, y0));
        const int k = static_cast<int>(j - outRow_);
        for (int i = 0; i < outW_; ++i) {
            sum_[k][i] += rowSum_[i] * wy;
            weight_[k][i] += rowWeight_[i] * wy;
        }
    }
    if (row_ + 1 == srcH_)
        while (outRow_ < outH_) FinishOutputRow();
}

// Maps output row outRow_ and moves the pair of sum rows down by one.
void RasterSink::FinishOutputRow() {
    short* out = target_.cells + static_cast<std::ptrdiff_t>(outRow_) * target_.stride;
    for (int i = 0; i < outW_; ++i)
        out[i] = weight_[0][i] > 0 ? Map(sum_[0][i] / weight_[0][i]) : 0;
    std::swap(sum_[0], sum_[1]);
    std::swap(weight_[0], weight_[1]);
    std::fill(sum_[1].begin(), sum_[1].end(), 0.0);
    std::fill(weight_[1].begin(), weight_[1].end(), 0.0);
    ++outRow_;
}

}  // namespace zumeld_formats
