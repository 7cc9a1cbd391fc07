// The Python module `zumeld`: maps made from numpy arrays or read from files, pictures of
// them as numpy arrays, and terrain edits that return new maps. A Map never changes once
// made (edits and looks work on copies, which share the grid until they replace it), so a
// view of its grid stays valid. A picture is returned as a view that holds the picture's
// buffer; the map draws its next picture into a buffer of its own while another holds the
// last one, so the view never changes. The library works with the GIL released; each map's
// lock keeps one call at a time on its display grid and picture.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "elv.h"
#include "error.h"
#include "heightmap.h"
#include "look.h"
#include "map_edit.h"
#include "map_limits.h"
#include "raster.h"
#include "sample_map.h"
#include "style.h"
#include "zumeld/zumeld.h"

namespace py = pybind11;

namespace {

using zumeld_formats::Error;
using zumeld_formats::SampleType;

struct Map {
    Zumeld::CCtrlElvMap map;
    std::mutex lock;
};

// A file that cannot be read or written: OSError in Python. Other refusals of the formats
// layer, the edits and the style (zumeld_formats::Error) are ValueError.
struct FileError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] void Refuse(const std::string& what, const std::string& why) {
    throw py::value_error(what + ": " + why);
}

int Bounded(const std::string& what, long long v, long long lo, long long hi) {
    if (v < lo || v > hi)
        Refuse(what,
               std::to_string(v) + " is outside " + std::to_string(lo) + ".." + std::to_string(hi));
    return static_cast<int>(v);
}

double Finite(const std::string& what, double v) {
    if (!std::isfinite(v)) Refuse(what, "is not a finite number");
    return v;
}

// Runs a file operation with the GIL released.
template <class F>
void FileOp(F&& f) {
    py::gil_scoped_release unlocked;
    try {
        f();
    } catch (const Error& e) {
        if (e.usage_) throw;
        throw FileError(e.what_ + ": " + e.what());
    }
}

zumeld_formats::ImportOptions Import(double scale, double offset, std::optional<double> seaLevel) {
    zumeld_formats::ImportOptions o;
    o.scale = Finite("scale", scale);
    o.offset = Finite("offset", offset);
    o.hasSeaLevel = seaLevel.has_value();
    o.seaLevel = Finite("sea_level", seaLevel.value_or(0.0));
    return o;
}

// The sample type the formats layer reads the dtype as; empty for the types numpy converts
// to float64 first (64-bit integers, float16, long double).
std::optional<SampleType> SampleTypeOf(const py::dtype& d) {
    const char kind = d.kind();
    switch (kind == 'f' || kind == 'i' || kind == 'u' ? d.itemsize() : 0) {
        case 1:
            return kind == 'i' ? SampleType::kInt8 : SampleType::kUInt8;
        case 2:
            if (kind == 'f') return std::nullopt;
            return kind == 'i' ? SampleType::kInt16 : SampleType::kUInt16;
        case 4:
            return kind == 'f'   ? SampleType::kFloat32
                   : kind == 'i' ? SampleType::kInt32
                                 : SampleType::kUInt32;
        case 8:
            if (kind == 'f') return SampleType::kFloat64;
    }
    return std::nullopt;
}

// A UserWarning when values were clamped on their way to elevations, with the scale that
// would have kept them (as `zumeld import` warns).
void WarnClamped(const zumeld_formats::MappingReport& r, const zumeld_formats::ImportOptions& o) {
    if (r.clamped == 0) return;
    char text[200];
    std::snprintf(text, sizeof text,
                  "%llu of %llu cells clamped to -32768..32767 (values %.15g..%.15g)",
                  static_cast<unsigned long long>(r.clamped),
                  static_cast<unsigned long long>(r.mapped), r.lowest, r.highest);
    std::string message = text;
    if (const double fit = zumeld_formats::FittingScale(r.lowest, r.highest, o.offset); fit > 0) {
        std::snprintf(text, sizeof text, "; scale=%.6g fits them", o.scale < 0 ? -fit : fit);
        message += text;
    }
    if (PyErr_WarnEx(PyExc_UserWarning, message.c_str(), 1) < 0) throw py::error_already_set();
}

// A map of the array's values, each mapped as `zumeld import` maps a raster's samples.
std::unique_ptr<Map> FromArray(py::array a, zumeld_formats::ImportOptions o) {
    if (a.ndim() != 2)
        Refuse("array", "has " + std::to_string(a.ndim()) +
                            " dimensions; a map is made from a 2-D array (rows, columns)");
    const char kind = a.dtype().kind();
    if (kind != 'i' && kind != 'u' && kind != 'f')
        Refuse("array", "dtype " + py::str(a.dtype()).cast<std::string>() +
                            " is not an integer or floating-point type");
    const py::ssize_t h = a.shape(0), w = a.shape(1);
    if (!zumeld_formats::MapCanHold(w, h))
        Refuse("array", "a map cannot hold " + std::to_string(h) + " x " + std::to_string(w) +
                            " cells: each side 1..32767, the grid within 2 GiB");
    std::optional<SampleType> type = SampleTypeOf(a.dtype());
    // The formats layer reads rows of native samples side by side.
    const py::module_ np = py::module_::import("numpy");
    if (!type)
        a = np.attr("ascontiguousarray")(a, "float64"), type = SampleType::kFloat64;
    else if (a.strides(1) != a.itemsize() || !a.dtype().equal(a.dtype().attr("newbyteorder")("=")))
        a = np.attr("ascontiguousarray")(a, a.dtype().attr("newbyteorder")("="));
    const auto* data = static_cast<const unsigned char*>(a.data());
    const py::ssize_t rowStride = a.strides(0);

    auto m = std::make_unique<Map>();
    zumeld_formats::MappingReport total;
    {
        py::gil_scoped_release unlocked;
        Zumeld::CCtrlElvMap& map = m->map;
        map.CreateNewMap(static_cast<int>(w), static_cast<int>(h));
        if (!map.m_pElevation || map.m_nWidth != w) throw std::bad_alloc();
        // Bands of rows on the library's threads, each through its own sink.
        const int rows = static_cast<int>(h), parts = std::min(rows, Zumeld::GetThreadCount());
        const std::ptrdiff_t bufferWidth = map.m_nBufferWidth;
        std::vector<zumeld_formats::MappingReport> reports(static_cast<std::size_t>(parts));
        Zumeld::RunOnThreads(parts, [&](int part) {
            const int y0 = rows * part / parts, y1 = rows * (part + 1) / parts;
            zumeld_formats::ImportOptions band = o;
            band.report = &reports[static_cast<std::size_t>(part)];
            zumeld_formats::RasterSink sink(
                w, y1 - y0, static_cast<int>(w), y1 - y0, *type, std::nullopt, band,
                {map.m_pElevation.get() + y0 * bufferWidth, bufferWidth});
            for (int y = y0; y < y1; ++y) sink.PutRow(data + y * rowStride);
        });
        map.FillGapOfElevationData();
        for (const auto& r : reports) {
            if (r.mapped == 0) continue;
            total.lowest = total.mapped ? std::min(total.lowest, r.lowest) : r.lowest;
            total.highest = total.mapped ? std::max(total.highest, r.highest) : r.highest;
            total.mapped += r.mapped;
            total.clamped += r.clamped;
        }
    }
    WarnClamped(total, o);
    return m;
}

// The picture as an (H, W, 3) RGB array without a copy: a view of the buffer, whose rows run
// bottom-up and whose pixels are B, G, R, so that rows and channels step backwards. The view
// holds the picture; the map draws its next picture into a new buffer while it lives.
py::array PictureView(const Quobel::CControlBmp& bmp) {
    auto held = std::make_unique<Quobel::CControlBmp>(bmp);  // shares the picture
    py::capsule owner(held.get(), [](void* p) { delete static_cast<Quobel::CControlBmp*>(p); });
    held.release();  // the capsule owns it now
    const py::ssize_t rowBytes = bmp.GetWidthBytes();
    return py::array(py::dtype::of<std::uint8_t>(), {bmp.GetHeight(), bmp.GetWidth(), 3},
                     {-rowBytes, py::ssize_t{3}, py::ssize_t{-1}}, bmp.GetBufferTopLeftPtr() + 2,
                     owner);
}

using Polygon = std::vector<std::array<long long, 2>>;

py::array Render(Map& self, std::optional<std::pair<long long, long long>> size,
                 std::optional<std::array<long long, 4>> area, long long relief, long long season,
                 bool shade, bool texture, bool dim, std::optional<std::string> colors,
                 double exaggerate, const std::vector<Polygon>& polygons, bool seaFill) {
    using namespace zumeld_tiles;
    const Zumeld::CCtrlElvMap& m = self.map;
    if (m.m_nWidth < 1 || m.m_nHeight < 1) Refuse("render", "the map has no cells");
    CellArea cells{0, 0, m.m_nWidth, m.m_nHeight};
    if (area)
        cells = {Bounded("area left", (*area)[0], 0, m.m_nWidth - 1),
                 Bounded("area top", (*area)[1], 0, m.m_nHeight - 1),
                 Bounded("area width", (*area)[2], 1, 1000000),
                 Bounded("area height", (*area)[3], 1, 1000000)};
    const int width =
        Bounded("size width", size ? size->first : cells.width, 1, zumeld_formats::kMaxPictureSide);
    const int height = Bounded("size height", size ? size->second : cells.height, 1,
                               zumeld_formats::kMaxPictureSide);
    ReliefStyle style;
    style.relief = Bounded("relief", relief, 1, kMaxReliefLevel);
    style.season = Bounded("season", season, 0, kMaxSeason);
    style.shade = shade;
    style.texture = texture;
    style.dim = dim;
    if (colors && *colors != "auto" && *colors != "default")
        Refuse("colors", "is None, 'auto' or 'default', not '" + *colors + "'");
    const bool autoColors = colors == "auto";
    if (autoColors && !texture)
        Refuse("colors", "'auto' places the textures' colours; texture=False draws without them");
    if (!(exaggerate > 0 && exaggerate <= kMaxExaggerate))
        Refuse("exaggerate", "must be above 0 and at most " + std::to_string(kMaxExaggerate));
    // Taken as the tool takes it, and said to change nothing.
    if (style.season != 0 &&
        PyErr_WarnEx(PyExc_UserWarning,
                     ("the texture sets render draws with have one season; season " +
                      std::to_string(style.season) + " looks as season 0")
                         .c_str(),
                     1) < 0)
        throw py::error_already_set();
    std::vector<std::vector<tagPOINT>> shapes;
    for (const Polygon& p : polygons) {
        if (p.size() < 3) Refuse("polygons", "each polygon needs at least 3 points");
        auto& shape = shapes.emplace_back();
        for (const auto& [x, y] : p)
            shape.push_back({Bounded("polygons x", x, -1000000, 1000000),
                             Bounded("polygons y", y, -1000000, 1000000)});
    }

    Quobel::CControlBmp picture;
    {
        py::gil_scoped_release unlocked;
        const std::lock_guard<std::mutex> hold(self.lock);
        // A look changes the grid and the texture sets: it is drawn from a copy.
        std::optional<Zumeld::CCtrlElvMap> looked;
        Zumeld::CCtrlElvMap* map = &self.map;
        if (autoColors || exaggerate != 1.0) {
            map = &looked.emplace(self.map);
            if (exaggerate != 1.0) ExaggerateElevations(*map, exaggerate);
            if (autoColors && !UseAutoColors(*map, AutoColorElevation(*map)))
                throw Error("colors", "cannot make the texture set");
        }
        PrepareArea(*map, style, cells, width, height);
        if (seaFill) map->FillSeaColorOnBitmapBuffer();
        if (shapes.empty()) DrawRelief(*map, style);
        for (const auto& shape : shapes) DrawReliefPolygon(*map, style, shape);
        picture = map->m_bmpInternal;
    }
    return PictureView(picture);
}

// A new map: this one's grid with the edit applied (the edit's arguments checked as `zumeld
// edit` checks them).
std::unique_ptr<Map> Edited(Map& self, const zumeld_edits::MapEdit& edit) {
    auto out = std::make_unique<Map>();
    py::gil_scoped_release unlocked;
    {
        const std::lock_guard<std::mutex> hold(self.lock);
        out->map = self.map;
    }
    edit.apply(out->map, {zumeld_formats::kMaxGridSide});
    out->map.ElevationDataModified();  // crop and canvas keep the old display grid's key
    return out;
}

template <class... Args>
auto EditMethod(zumeld_edits::MapEdit (*make)(const std::string&, Args...), const char* what) {
    return [make, what](Map& self, Args... args) { return Edited(self, make(what, args...)); };
}

py::array ElevationsOf(py::object self) {
    const Zumeld::CCtrlElvMap& m = self.cast<Map&>().map;
    if (!m.m_pElevation || m.m_nWidth < 1 || m.m_nHeight < 1)
        return py::array_t<short>(std::vector<py::ssize_t>{m.m_nHeight, m.m_nWidth});
    py::array_t<short> view({m.m_nHeight, m.m_nWidth},
                            {static_cast<py::ssize_t>(m.m_nBufferWidth) * 2, py::ssize_t{2}},
                            m.m_pElevation.get(), self);
    view.attr("setflags")(py::arg("write") = false);
    return view;
}

}  // namespace

PYBIND11_MODULE(zumeld, mod) {
    mod.doc() =
        "Terrain elevation maps (signed 16-bit heights, 0 = sea) and shaded relief pictures "
        "of them, over numpy arrays.";
    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p) std::rethrow_exception(p);
        } catch (const FileError& e) {
            PyErr_SetString(PyExc_OSError, e.what());
        } catch (const Error& e) {
            PyErr_SetString(PyExc_ValueError, (e.what_ + ": " + e.what()).c_str());
        }
    });
    mod.attr("__version__") = Zumeld::GetVersionString();
    // numpy asks for huge pages for its own large arrays; the maps' grids and pictures,
    // made and dropped call after call in a Python program, follow suit (a 4096 x 4096
    // array to a picture: 63 to 34 ms on one thread, most of it fewer page faults).
    Zumeld::Platform::SetHugePages(true);
    mod.def("set_threads", &Zumeld::SetThreadCount, py::arg("count"),
            "Threads the library splits its work over (0: the hardware's count). The "
            "pictures are the same for every count.");
    mod.def("threads", &Zumeld::GetThreadCount, "The thread count in force.");

    py::class_<Map>(mod, "Map", "An elevation map. It never changes: edits return new maps.")
        .def(py::init([](py::array a, double scale, double offset, std::optional<double> sea) {
                 return FromArray(std::move(a), Import(scale, offset, sea));
             }),
             py::arg("array"), py::kw_only(), py::arg("scale") = 1.0, py::arg("offset") = 0.0,
             py::arg("sea_level") = py::none(),
             "A map of a 2-D integer or float array, rows top first. Each value becomes "
             "value * scale + offset rounded (halves away from zero) and clamped to "
             "-32768..32767; NaN is sea, and so is every result at or below sea_level.")
        .def_static(
            "load",
            [](const std::filesystem::path& path) {
                auto m = std::make_unique<Map>();
                FileOp([&] { zumeld_formats::LoadMap(path.string(), m->map); });
                return m;
            },
            py::arg("path"), "Loads an .elv map file.")
        .def_static(
            "read",
            [](const std::filesystem::path& path, double scale, double offset,
               std::optional<double> sea, std::optional<std::pair<long long, long long>> fit) {
                zumeld_formats::ImportOptions o = Import(scale, offset, sea);
                if (fit) {
                    o.fitWidth = Bounded("fit", fit->first, 1, zumeld_formats::kMaxGridSide);
                    o.fitHeight = Bounded("fit", fit->second, 1, zumeld_formats::kMaxGridSide);
                }
                zumeld_formats::MappingReport report;
                o.report = &report;
                auto m = std::make_unique<Map>();
                FileOp([&] { zumeld_formats::LoadAnyMap(path.string(), o, m->map); });
                WarnClamped(report, o);
                return m;
            },
            py::arg("path"), py::kw_only(), py::arg("scale") = 1.0, py::arg("offset") = 0.0,
            py::arg("sea_level") = py::none(), py::arg("fit") = py::none(),
            "Reads any map file zumeld import reads (.elv, .tif GeoTIFF, .hgt, .png, .pgm, "
            ".asc), its values mapped as Map(array) maps them; fit=(W, H) reduces a larger "
            "raster by area average.")
        .def_static(
            "sample",
            [](long long width, long long height, std::uint32_t seed) {
                const int w = Bounded("width", width, 1, zumeld_formats::kMaxGridSide);
                const int h = Bounded("height", height, 1, zumeld_formats::kMaxGridSide);
                auto m = std::make_unique<Map>();
                py::gil_scoped_release unlocked;
                m->map.SetElevationData(w, h, zumeld_formats::MakeSampleMap(w, h, seed).data());
                return m;
            },
            py::arg("width") = zumeld_formats::kSampleWidth,
            py::arg("height") = zumeld_formats::kSampleHeight, py::arg("seed") = 1,
            "The built-in sample island (the map zumeld render draws without a file).")
        .def(
            "save",
            [](Map& self, const std::filesystem::path& path, long long quality) {
                const int q = Bounded("quality", quality, 0, 100);
                FileOp([&] {
                    const std::lock_guard<std::mutex> hold(self.lock);
                    zumeld_formats::SaveMapElv(path.string(), self.map, q);
                });
            },
            py::arg("path"), py::arg("quality") = 0,
            "Stores the map as an .elv file (replaced whole, never half-written); quality "
            "1..100 stores the compressed form.")
        .def_property_readonly("width", [](const Map& self) { return self.map.m_nWidth; })
        .def_property_readonly("height", [](const Map& self) { return self.map.m_nHeight; })
        .def_property_readonly("elevations", &ElevationsOf,
                               "The grid as a read-only int16 array (rows, columns), a view "
                               "without a copy.")
        .def("render", &Render, py::kw_only(), py::arg("size") = py::none(),
             py::arg("area") = py::none(), py::arg("relief") = 1, py::arg("season") = 0,
             py::arg("shade") = true, py::arg("texture") = true, py::arg("dim") = false,
             py::arg("colors") = py::none(), py::arg("exaggerate") = 1.0,
             py::arg("polygons") = std::vector<Polygon>(), py::arg("sea_fill") = false,
             "The map as textured, shaded relief: an (H, W, 3) uint8 RGB array, the pixels "
             "zumeld render draws with the same options. size=(W, H) (default: the area's "
             "size); area=(left, top, width, height) in cells (default: the whole map); "
             "colors='auto' places the textures' colours on the map's own elevations; "
             "exaggerate multiplies the elevations; polygons: draw only inside these, each "
             "a sequence of (x, y) picture pixels; sea_fill paints the sea first. The array "
             "is the picture itself, not a copy: its rows and channels step backwards (not "
             "C-contiguous; np.ascontiguousarray makes a copy that is), and it stays as it is "
             "when the map draws again.")
        .def(
            "sink",
            [](Map& self, long long depth, std::optional<std::array<long long, 4>> area,
               bool keepLand) {
                const auto a = area.value_or(
                    std::array<long long, 4>{0, 0, self.map.m_nWidth, self.map.m_nHeight});
                return Edited(self,
                              zumeld_edits::Sink("sink", depth, a[0], a[1], a[2], a[3], keepLand));
            },
            py::arg("depth"), py::arg("area") = py::none(), py::arg("keep_land") = false,
            "Land in area=(left, top, width, height) lowered by depth (negative raises); "
            "with keep_land land stops at 1 instead of turning to sea.")
        .def("resize", EditMethod(&zumeld_edits::Resize, "resize"), py::arg("width"),
             py::arg("height"), "The terrain stretched or squeezed to width x height cells.")
        .def("rotate", EditMethod(&zumeld_edits::Rotate, "rotate"), py::arg("degrees"),
             "Turned counterclockwise by whole degrees.")
        .def("sector", EditMethod(&zumeld_edits::Sector, "sector"), py::arg("angle"),
             py::arg("inner") = 0.0,
             "Bent into a ring sector of angle degrees (0 < angle <= 360) whose inner radius "
             "is inner per cent (0 <= inner < 100) of the outer.")
        .def("barrel", EditMethod(&zumeld_edits::Barrel, "barrel"), py::arg("a"), py::arg("b"),
             py::arg("c"),
             "Each row squeezed into the centred span of half-width -(a y² + b y + c).")
        .def("crop", EditMethod(&zumeld_edits::Crop, "crop"), py::arg("left"), py::arg("top"),
             py::arg("width"), py::arg("height"), "Cropped to a rectangle, clipped to the map.")
        .def("canvas", EditMethod(&zumeld_edits::Canvas, "canvas"), py::arg("width"),
             py::arg("height"),
             "The canvas made width x height cells, the top-left part kept (new cells sea).")
        .def("__repr__", [](const Map& self) {
            return "<zumeld.Map " + std::to_string(self.map.m_nWidth) + " x " +
                   std::to_string(self.map.m_nHeight) + ">";
        });
}
