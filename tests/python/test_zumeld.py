"""The zumeld module as a Python user relies on it. ZUMELD_CLI names the zumeld tool the
pictures and edits are compared with; PYTHONPATH finds the built module."""
import os
import subprocess
import tracemalloc
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

import numpy as np
import pytest

import zumeld

CLI = os.environ.get("ZUMELD_CLI", "zumeld")


def tool(*args):
    subprocess.run([CLI, *map(str, args)], check=True, capture_output=True)


def read_bmp(path):
    """A 24-bit .bmp as an (H, W, 3) RGB array."""
    b = open(path, "rb").read()
    offset, width, height = (int.from_bytes(b[k : k + 4], "little", signed=True) for k in (10, 18, 22))
    rows = np.frombuffer(b, np.uint8, offset=offset).reshape(abs(height), -1)
    rgb = rows[:, : width * 3].reshape(abs(height), width, 3)[:, :, ::-1]
    return rgb[::-1] if height > 0 else rgb


@pytest.mark.parametrize("dtype", [np.int8, np.uint8, np.int16, np.uint16, np.int32, np.uint32,
                                   np.int64, np.uint64, np.float16, np.float32, np.float64])
def test_each_dtype_rounds_and_clamps_as_import_does(dtype, recwarn):
    if np.dtype(dtype).kind == "f":  # halves away from zero, NaN is sea
        a, expected = [[-6e4, np.nan, 2.5], [-2.5, -0.5, 6e4]], [[-32768, 0, 3], [-3, -1, 32767]]
    else:
        lo, hi = np.iinfo(dtype).min, np.iinfo(dtype).max
        a, expected = [[lo, 0, 1], [7, 100, hi]], [[max(lo, -32768), 0, 1], [7, 100, min(hi, 32767)]]
    assert zumeld.Map(np.array(a, dtype)).elevations.tolist() == expected
    v = np.array(a, float)
    assert len(recwarn) == (np.nanmin(v) < -32768 or np.nanmax(v) > 32767)  # warned when clamped


def test_scale_offset_and_sea_level_map_as_import_does():
    m = zumeld.Map(np.array([[0.5, 1.04, 2.0]]), scale=10, offset=1, sea_level=11)
    assert m.elevations.tolist() == [[0, 0, 21]]
    with pytest.warns(UserWarning, match=r"^1 of 2 cells clamped .*; scale=0\.5 fits them$"):
        zumeld.Map(np.array([[0, 65534]]))


def test_strided_and_byte_swapped_arrays():
    a = np.arange(24).reshape(4, 6)
    assert zumeld.Map(a[::-2, ::3]).elevations.tolist() == a[::-2, ::3].tolist()
    assert zumeld.Map(a.astype(">i2")).elevations.tolist() == a.tolist()


def test_elevations_are_a_read_only_view_that_outlives_the_map():
    m = zumeld.Map.sample(300, 200)
    e = m.elevations
    assert e.shape == (200, 300) and e.dtype == np.int16 and np.shares_memory(e, m.elevations)
    with pytest.raises(ValueError):
        e[0, 0] = 1
    del m
    assert e.max() > 0


@pytest.mark.parametrize("bad, reason", [
    (np.zeros(5), "2-D"), (np.zeros((2, 2, 2)), "2-D"), (np.zeros((0, 3)), "cannot hold"),
    (np.zeros((40000, 1), np.int8), "cannot hold"), (np.zeros((2, 2), bool), "dtype bool"),
    (np.zeros((2, 2), complex), "dtype complex"), (np.array([["a"]]), "dtype <U1"),
])
def test_bad_arrays_are_refused(bad, reason):
    with pytest.raises(ValueError, match=reason):
        zumeld.Map(bad)


RENDERS = [
    ([], {}),
    (["--area", "100,50,250,200", "--size", "320x200", "--relief", "3", "--no-shade", "--dim"],
     dict(area=(100, 50, 250, 200), size=(320, 200), relief=3, shade=False, dim=True)),
    (["--size", "301x173", "--no-texture", "--sea-fill", "--polygon", "10,10,290,30,150,170",
      "--polygon", "0,0,40,0,0,40"],
     dict(size=(301, 173), texture=False, sea_fill=True,
          polygons=[[(10, 10), (290, 30), (150, 170)], np.array([[0, 0], [40, 0], [0, 40]])])),
    (["--colors", "auto", "--exaggerate", "2.5"], dict(colors="auto", exaggerate=2.5)),
]


@pytest.mark.parametrize("args, options", RENDERS)
def test_render_draws_the_pixels_the_tool_draws(tmp_path, args, options):
    m = zumeld.Map.sample(400, 300)
    m.save(tmp_path / "m.elv")
    tool("render", tmp_path / "m.elv", "-o", tmp_path / "tool.bmp", *args)
    picture = m.render(**options)
    assert picture.dtype == np.uint8 and picture.ndim == 3
    np.testing.assert_array_equal(picture, read_bmp(tmp_path / "tool.bmp"))


def test_render_arguments_are_checked():
    m = zumeld.Map.sample(64, 64)
    for bad in [dict(size=(0, 10)), dict(size=(20000, 10)), dict(area=(64, 0, 1, 1)), dict(relief=0),
                dict(colors="bright"), dict(exaggerate=0), dict(polygons=[[(0, 0), (1, 1)]])]:
        pytest.raises(ValueError, m.render, **bad)
    pytest.warns(UserWarning, m.render, season=2)  # one season: said, as the tool says it


def test_pictures_and_the_map_stay_as_they_were():
    m = zumeld.Map.sample(200, 150)
    before, first = m.elevations.copy(), m.render()
    kept = first.copy()
    assert (m.render(colors="auto", exaggerate=3) != kept).any() and (m.render(dim=True) != kept).any()
    np.testing.assert_array_equal(first, kept)  # drawn elsewhere while `first` holds its picture
    np.testing.assert_array_equal(m.elevations, before)


def test_edit_chain_equals_the_tool_and_leaves_the_map(tmp_path):
    m = zumeld.Map.sample(240, 180)
    before = m.elevations.copy()
    m.save(tmp_path / "in.elv")
    tool("edit", tmp_path / "in.elv", tmp_path / "out.elv", "--sink", "200,10,20,100,60,keep",
         "--resize", "260,200", "--rotate", "30", "--sector", "120,25", "--barrel", "0.001,0,-150",
         "--crop", "5,5,250,190", "--canvas", "300,220")
    edited = (m.sink(200, area=(10, 20, 100, 60), keep_land=True).resize(260, 200).rotate(30)
              .sector(120, 25).barrel(0.001, 0, -150).crop(5, 5, 250, 190).canvas(300, 220))
    np.testing.assert_array_equal(edited.elevations, zumeld.Map.load(tmp_path / "out.elv").elevations)
    np.testing.assert_array_equal(m.elevations, before)
    with pytest.raises(ValueError, match="sink: depth 40000"):
        m.sink(40000)


def test_files_round_trip_and_geotiff_reads(tmp_path):
    m = zumeld.Map.sample(120, 80)
    m.save(tmp_path / "m.elv")
    tool("export", tmp_path / "m.elv", tmp_path / "m.tif")
    for loaded in (zumeld.Map.load(tmp_path / "m.elv"), zumeld.Map.read(str(tmp_path / "m.tif"))):
        np.testing.assert_array_equal(loaded.elevations, m.elevations)
    with pytest.raises(OSError):
        zumeld.Map.load(tmp_path / "missing.elv")


def test_renders_from_many_threads_agree():
    m = zumeld.Map.sample(256, 192)
    expected = m.render(size=(200, 150))
    with ThreadPoolExecutor(4) as pool:
        results = list(pool.map(lambda _: m.render(size=(200, 150)), range(8)))
    assert all((r == expected).all() for r in results)


def test_no_leak_over_a_thousand_renders():
    m = zumeld.Map.sample(200, 150)
    for _ in range(50):
        m.render(size=(160, 120))
    tracemalloc.start()
    rss = lambda: int(Path("/proc/self/statm").read_text().split()[1]) * os.sysconf("SC_PAGE_SIZE")
    before = rss()
    for k in range(1000):
        m.render(size=(160, 120), relief=1 + k % 3)
        zumeld.Map(m.elevations).rotate(k).render(size=(50, 40))
    traced, _ = tracemalloc.get_traced_memory()
    tracemalloc.stop()
    assert traced < 100_000
    assert rss() - before < 8 << 20
