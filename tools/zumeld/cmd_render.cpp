// zumeld render: draws a map (or the built-in sample map) as a picture, the way a host
// drives the library: resample the area, optionally paint the sea, draw the relief (whole
// or inside polygons), blend an overlay picture, draw lines, and store the buffer.
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli.h"
#include "elv.h"
#include "geotiff.h"
#include "heightmap.h"
#include "picture.h"
#include "sample_map.h"
#include "style.h"
#include "zumeld/zumeld.h"

namespace zumeld_cli {

namespace {

// The help text, the relief options' lines (kReliefHelp) between its two parts.
const char kHelp[] =
    "usage: zumeld render [MAP] -o OUT.png [options]\n"
    "\n"
    "Draws MAP (an .elv file or any heightmap import reads: .png, .pgm, .raw, .asc, .tif,\n"
    ".hgt; without it the built-in sample map, 1024 x 768 cells) as textured, shaded relief\n"
    "and writes OUT as PNG, as a 24-bit .bmp when OUT ends in .bmp, or as an RGB GeoTIFF when\n"
    "it ends in .tif or .tiff. When MAP is georeferenced (a GeoTIFF, an .hgt tile named like\n"
    "N45E006.hgt) the picture is too: a GeoTIFF carries the reference system and the\n"
    "picture's place, a .png or .bmp gets a world file beside it (.pgw, .bpw).\n"
    "\n"
    "options:\n"
    "  -o, --output OUT          the picture to write (required)\n"
    "  --area L,T,W,H            the map area shown: left and top cell, width and height in\n"
    "                            cells (default: the whole map)\n"
    "  --size WxH                the picture size in pixels (default: the area's size)\n";
const char kHelpOptions[] =
    "  --polygon x1,y1,x2,y2,... draw relief only inside this polygon (picture pixels);\n"
    "                            repeatable, each needs at least 3 points\n"
    "  --sea-fill                paint the whole picture as sea first\n"
    "  --overlay PICTURE         blend a .bmp or .png picture at half strength, one picture\n"
    "                            pixel per map cell from the map's top-left corner\n"
    "  --overlay-rect X,Y,W,H    blend the overlay only inside this picture rectangle\n"
    "  --line x1,y1,x2,y2[,RRGGBB]  draw a one-pixel line (default colour FFFFFF) after\n"
    "                            everything else; repeatable\n"
    "  --scale S, --offset O, --sea-level V\n"
    "                            how a heightmap MAP's values become elevations, as in\n"
    "                            'zumeld import' (default: the values as they are)\n"
    "  --fit-range               scale a heightmap MAP's values to fill the map's range, as\n"
    "                            in 'zumeld import'\n"
    "  --raw-size WxH            the grid size of a .raw MAP\n"
    "  --fit WxH                 reduce a MAP larger than W x H cells by area average, as in\n"
    "                            'zumeld import'\n"
    "  --png-level L             PNG compression level 0 (none, fastest) .. 9 (smallest,\n"
    "                            slowest); default 1: level 6 makes files about 15 %\n"
    "                            smaller in about four times the time\n"
    "  -h, --help                show this text\n";

struct Options {
    std::string map;
    std::string output;
    std::vector<long long> area;  // empty: whole map
    int width = 0, height = 0;    // 0: the area's size
    ReliefOptions relief;
    std::vector<std::vector<tagPOINT>> polygons;
    bool seaFill = false;
    std::string overlay;
    std::vector<long long> overlayRect;
    struct Line {
        tagPOINT a, b;
        COLORREF color;
    };
    std::vector<Line> lines;
    ImportOptions import;  // how a heightmap MAP becomes elevations
    int pngLevel = kDefaultPngLevel;
};

std::vector<long long> ParseIntegers(const std::string& option, const std::string& text,
                                     bool splitOnX = false) {
    std::vector<long long> v;
    for (const std::string& part : SplitList(text, splitOnX))
        v.push_back(ParseInteger(option, part));
    return v;
}

int InRange(const std::string& option, long long v, long long lo, long long hi) {
    if (v < lo || v > hi)
        throw UsageError(option, std::to_string(v) + " is outside " + std::to_string(lo) + ".." +
                                     std::to_string(hi));
    return static_cast<int>(v);
}

tagPOINT Point(const std::string& option, long long x, long long y) {
    tagPOINT p;
    p.x = InRange(option, x, -1000000, 1000000);
    p.y = InRange(option, y, -1000000, 1000000);
    return p;
}

std::vector<OptionRule> Rules() {
    std::vector<OptionRule> rules = {
        {"output", 'o', true},     {"area", 0, true},      {"size", 0, true},
        {"polygon", 0, true},      {"sea-fill", 0, false}, {"overlay", 0, true},
        {"overlay-rect", 0, true}, {"line", 0, true},      {"scale", 0, true},
        {"offset", 0, true},       {"sea-level", 0, true}, {"raw-size", 0, true},
        {"fit", 0, true},          {"png-level", 0, true}, {"fit-range", 0, false}};
    rules.insert(rules.end(), kReliefRules.begin(), kReliefRules.end());
    return rules;
}

Options Parse(const ParsedArgs& parsed) {
    Options o;
    for (const ParsedArg& arg : parsed.items) {
        const std::string& a = arg.option;
        auto value = [&]() -> const std::string& { return arg.value; };
        if (a.empty()) {
            if (!o.map.empty())
                throw UsageError(arg.value, "a second map: render draws one map ('" + o.map +
                                                "'); the picture to write is given with -o " +
                                                arg.value);
            o.map = arg.value;
        } else if (a != "--size" && TakeImportOption(arg, o.import)) {
            // --scale, --offset, --sea-level, --fit
        } else if (a == "--png-level") {
            o.pngLevel = InRange(a, ParseInteger(a, value()), 0, 9);
        } else if (a == "--output") {
            if (!o.output.empty())
                throw UsageError(a, "given twice ('" + o.output + "', '" + value() + "')");
            o.output = value();
        } else if (a == "--area") {
            o.area = ParseIntegers(a, value());
            if (o.area.size() != 4) throw UsageError(a, "needs LEFT,TOP,WIDTH,HEIGHT");
        } else if (a == "--size") {
            auto s = ParseIntegers(a, value(), true);
            if (s.size() != 2) throw UsageError(a, "needs WxH");
            o.width = InRange(a, s[0], 1, kMaxPictureSide);
            o.height = InRange(a, s[1], 1, kMaxPictureSide);
        } else if (TakeReliefOption(arg, o.relief)) {
            // --relief, --season, --colors, --exaggerate, --no-shade, --no-texture, --color,
            // --dim
        } else if (a == "--polygon") {
            auto v = ParseIntegers(a, value());
            if (v.size() < 6 || v.size() % 2 != 0)
                throw UsageError(a, "needs at least 3 points x1,y1,x2,y2,x3,y3,...");
            std::vector<tagPOINT> pts;
            for (std::size_t k = 0; k < v.size(); k += 2) pts.push_back(Point(a, v[k], v[k + 1]));
            o.polygons.push_back(pts);
        } else if (a == "--sea-fill") {
            o.seaFill = true;
        } else if (a == "--overlay") {
            o.overlay = value();
        } else if (a == "--overlay-rect") {
            o.overlayRect = ParseIntegers(a, value());
            if (o.overlayRect.size() != 4) throw UsageError(a, "needs X,Y,W,H");
            for (long long& v : o.overlayRect) v = InRange(a, v, -1000000, 1000000);
        } else if (a == "--line") {
            const auto parts = SplitList(value());
            if (parts.size() != 4 && parts.size() != 5)
                throw UsageError(a, "needs x1,y1,x2,y2 or x1,y1,x2,y2,RRGGBB");
            Options::Line l;
            l.a = Point(a, ParseInteger(a, parts[0]), ParseInteger(a, parts[1]));
            l.b = Point(a, ParseInteger(a, parts[2]), ParseInteger(a, parts[3]));
            l.color = parts.size() == 5 ? ParseColor(a, parts[4]) : RGB(255, 255, 255);
            o.lines.push_back(l);
        }
    }
    if (o.output.empty()) throw UsageError("render", "no output picture (-o OUT.png)");
    CheckReliefOptions(o.relief);
    if (!o.overlayRect.empty() && o.overlay.empty())
        throw UsageError("--overlay-rect", "needs --overlay PICTURE");
    return o;
}

}  // namespace

int CmdRender(const std::vector<std::string>& args) {
    const ParsedArgs parsed = ParseArgs("render", Rules(), args);
    if (parsed.help) return ShowHelp((std::string(kHelp) + kReliefHelp + kHelpOptions).c_str());
    const Options o = Parse(parsed);
    CheckOutput(o.output, {o.map, o.overlay});
    PictureFormatOfPath(o.output);

    CommandProgress progress("render", 4, parsed.quiet);
    Zumeld::CCtrlElvMap map;
    std::optional<GeoReference> geo;
    if (o.map.empty()) {
        progress.Step("making the sample map");
        const std::vector<short> cells =
            MakeSampleMap(kSampleWidth, kSampleHeight, 1, progress.Reporter());
        map.SetElevationData(kSampleWidth, kSampleHeight, cells.data());
    } else {
        geo = LoadMapFile(o.map, o.import, map, progress);
    }
    if (map.m_nWidth < 1 || map.m_nHeight < 1)
        throw CliError(o.map.empty() ? "render" : o.map, "the map has no cells");

    // The shown area must start on the map; it may reach past its right and bottom edges
    // as long as at least one picture column and row fall on the map.
    int left = 0, top = 0, areaW = map.m_nWidth, areaH = map.m_nHeight;
    if (!o.area.empty()) {
        left = InRange("--area", o.area[0], 0, map.m_nWidth - 1);
        top = InRange("--area", o.area[1], 0, map.m_nHeight - 1);
        areaW = InRange("--area", o.area[2], 1, 1000000);
        areaH = InRange("--area", o.area[3], 1, 1000000);
    }
    const int width = o.width > 0 ? o.width : areaW;
    const int height = o.height > 0 ? o.height : areaH;
    if (width > kMaxPictureSide || height > kMaxPictureSide)
        throw UsageError("--size", "the picture would be larger than " +
                                       std::to_string(kMaxPictureSide) + " x " +
                                       std::to_string(kMaxPictureSide) + "; give --size");
    if (static_cast<long long>(map.m_nWidth - left) * width < areaW ||
        static_cast<long long>(map.m_nHeight - top) * height < areaH)
        throw UsageError("--area", "not one picture column or row falls on the map");

    ApplyReliefOptions(o.relief, map, progress);

    // The overlay is laid on the map before resampling, which carries it to the picture.
    Quobel::CControlBmp overlay;
    if (!o.overlay.empty()) {
        ReadPicture(o.overlay, overlay);
        map.SetOverlapBitmap(overlay.GetHbmp(), 0, 0);
    }
    progress.Step("resampling");
    zumeld_tiles::PrepareArea(map, o.relief.style, {left, top, areaW, areaH}, width, height);

    progress.Step("drawing");
    if (o.seaFill) map.FillSeaColorOnBitmapBuffer();
    if (o.polygons.empty()) {
        zumeld_tiles::DrawRelief(map, o.relief.style);
    } else {
        for (const auto& poly : o.polygons)
            zumeld_tiles::DrawReliefPolygon(map, o.relief.style, poly);
    }
    if (!o.overlay.empty()) {
        if (o.overlayRect.empty())
            map.OverlapPictureOnBitmapBuffer();
        else
            map.OverlapPictureOnBitmapBuffer(
                static_cast<int>(o.overlayRect[0]), static_cast<int>(o.overlayRect[1]),
                static_cast<int>(o.overlayRect[2]), static_cast<int>(o.overlayRect[3]));
    }
    for (const auto& l : o.lines) map.DrawLineOnBitmapBuffer(l.a, l.b, l.color);

    // The picture's pixel (0, 0) corner is cell (left, top); a pixel spans area / size cells.
    if (geo)
        geo = Resampled(*geo, left, top, static_cast<double>(areaW) / width,
                        static_cast<double>(areaH) / height);
    progress.Step("writing " + o.output);
    if (IsTiffPath(o.output)) {
        WriteFileAtomically(
            o.output, EncodeGeoTiffPicture(o.output, map.m_bmpInternal, geo ? &*geo : nullptr));
        return kExitOk;
    }
    WritePicture(o.output, map.m_bmpInternal, o.pngLevel);
    if (geo && IsStream(o.output)) {
        progress.Say("zumeld: " + o.output +
                     ": warning: a stream has no world file beside it; the picture's place "
                     "is not written (a .tif picture carries it)");
    } else if (geo) {
        const std::string text = WorldFileText(*geo);
        try {
            WriteFileAtomically(WorldFilePath(o.output),
                                std::vector<std::uint8_t>(text.begin(), text.end()));
        } catch (...) {
            std::remove(o.output.c_str());  // no picture without its place
            throw;
        }
    }
    return kExitOk;
}

}  // namespace zumeld_cli
