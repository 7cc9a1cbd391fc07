"""The zumeld serve page in headless Chromium, driven as a user drives it.

usage: /usr/bin/python3 tests/browser/page_test.py path/to/zumeld SCREENSHOT.png

Starts `zumeld serve` on a free loopback port, then checks: the page loads with no console
error and tiles that are not blank; zooming in loads the next level's tiles; a slider
change loads tiles with the new options; a sink dragged on the map changes the tiles under
its rectangle (and only those), and Ctrl+Z brings back the exact earlier tiles; the
pointer read-out shows a known cell's elevation. Prints the time from navigation to the
first full screen of tiles, writes a screenshot, and ends the server with SIGTERM, which
must end it cleanly. Then the same page written by `zumeld tiles` beside a folder of tiles,
served as static files: tiles load from the folder with no console error, zooming loads the
next level, nothing to edit is shown and the read-out names the cell (a second screenshot,
SCREENSHOT-folder.png). Every wait is bounded;
nothing is fetched from outside the machine.
"""
import functools
import http.server
import json
import os
import re
import signal
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys

FLAGS = ("--headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
         "--disable-background-networking --disable-component-update --disable-sync "
         "--window-size=1280,800").split()

# Every loaded tile: its coordinates, URL and a digest of the bytes the browser holds.
TILES_JS = """
const done = arguments[arguments.length - 1];
const imgs = [...document.querySelectorAll('img.leaflet-tile-loaded')];
Promise.all(imgs.map(async (img) => {
  const bytes = await (await fetch(img.src, {cache: 'force-cache'})).arrayBuffer();
  const hash = [...new Uint8Array(await crypto.subtle.digest('SHA-256', bytes))]
      .map((b) => b.toString(16).padStart(2, '0')).join('');
  const [z, x, y] = new URL(img.src).pathname.split(/[/.]/).slice(2, 5).map(Number);
  return {z, x, y, src: img.src, hash};
})).then(done, (e) => done({error: String(e)}));
"""

# How many colours a loaded tile shows (a blank tile shows one).
COLOURS_JS = """
const img = document.querySelector('img.leaflet-tile-loaded');
const c = document.createElement('canvas');
c.width = img.naturalWidth; c.height = img.naturalHeight;
const g = c.getContext('2d');
g.drawImage(img, 0, 0);
const d = g.getImageData(0, 0, c.width, c.height).data;
const seen = new Set();
for (let i = 0; i < d.length; i += 4) seen.add((d[i] << 16) | (d[i + 1] << 8) | d[i + 2]);
return seen.size;
"""


def wait(what, test, seconds=15):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        value = test()
        if value:
            return value
        time.sleep(0.05)
    raise AssertionError(f"timed out waiting for {what}")


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def main(zumeld, screenshot):
    server = subprocess.Popen([zumeld, "serve", "--port", "0"], stdout=subprocess.PIPE, text=True)
    url = server.stdout.readline().strip()
    check(url.startswith("http://127.0.0.1:"), f"no URL from zumeld serve: {url!r}")
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for flag in FLAGS + ["--user-data-dir=" + tempfile.mkdtemp(prefix="zumeld-chromium-")]:
        options.add_argument(flag)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    driver.set_script_timeout(15)
    try:
        run(driver, url, screenshot)
    finally:
        server.send_signal(signal.SIGTERM)
        status = server.wait(timeout=15)
        try:
            check(status == 0, f"zumeld serve ended with status {status} on SIGTERM")
            static_site(driver, zumeld, screenshot.replace(".png", "-folder.png"))
        finally:
            driver.quit()
    print("browser test: all checks passed")


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def static_site(driver, zumeld, screenshot):
    js = driver.execute_script
    work = tempfile.mkdtemp(prefix="zumeld-site-")
    site = os.path.join(work, "site")
    subprocess.run([zumeld, "generate", "-o", os.path.join(work, "s.elv")], check=True)
    subprocess.run([zumeld, "tiles", os.path.join(work, "s.elv"), site, "--zoom", "0..3"], check=True)
    httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(QuietHandler, directory=site))
    threading.Thread(target=httpd.serve_forever, daemon=True).start()
    try:
        driver.get(f"http://127.0.0.1:{httpd.server_port}/index.html")
        wait("the folder's first full screen of tiles", lambda: js("return window.zumeld.firstFullScreenMs"))
        check(js(COLOURS_JS) > 50, "the folder's first tile is blank")
        src = js("return document.querySelector('img.leaflet-tile-loaded').src")
        path = re.fullmatch(r"http://[^/]+/(\d+/\d+/\d+\.png)", src)
        check(path, f"a tile not from the folder: {src}")
        with urllib.request.urlopen(src, timeout=10) as r, open(os.path.join(site, path.group(1)), "rb") as f:
            check(r.read() == f.read(), f"{src} is not the file")
        zoom = js("return window.zumeld.map.getZoom()")
        driver.find_element(By.CSS_SELECTOR, ".leaflet-control-zoom-in").click()
        wait("the folder's next level", lambda: js("return window.zumeld.map.getZoom()") == zoom + 1
             and not js("return window.zumeld.layer.isLoading()"))
        check(not driver.find_element(By.ID, "edit-tools").is_displayed(), "edit tools shown for a folder")
        check(not driver.find_element(By.ID, "relief").is_enabled(), "the style can be changed for a folder")
        ActionChains(driver).move_to_element(driver.find_element(By.ID, "map")).move_by_offset(3, 3).perform()
        shown = wait("the folder's read-out", lambda: driver.find_element(By.ID, "readout").text)
        check(re.fullmatch(r"x \d+, y \d+", shown), f"the folder's read-out shows {shown}")
        driver.save_screenshot(screenshot)
        errors = [e for e in driver.get_log("browser") if e["level"] == "SEVERE"]
        check(not errors, f"console errors on the folder's page: {errors}")
    finally:
        httpd.shutdown()
        subprocess.run(["rm", "-rf", work], check=False)


def run(driver, url, screenshot):
    js = driver.execute_script
    driver.get(url)
    first = wait("the first full screen of tiles", lambda: js("return window.zumeld.firstFullScreenMs"))
    print(f"page load to first full screen of tiles: {first:.0f} ms (navigation start to the tile layer's load)")
    facts = js("return window.zumeld.facts")
    check(js(COLOURS_JS) > 50, "the first tile is blank")
    time.sleep(0.5)  # the tiles' fade-in
    driver.save_screenshot(screenshot)
    print(f"screenshot: {screenshot}")

    def tiles():
        # The tiles on screen once the layer has settled.
        wait("tiles to settle", lambda: js("return !window.zumeld.layer.isLoading()"))
        answer = driver.execute_async_script(TILES_JS)
        check(isinstance(answer, list) and answer, f"no tiles: {answer}")
        return answer

    # Zoom in with the + button: the next level's tiles arrive.
    zoom = js("return window.zumeld.map.getZoom()")
    level = {t["z"] for t in tiles()}
    driver.find_element(By.CSS_SELECTOR, ".leaflet-control-zoom-in").click()
    wait("the zoom", lambda: js("return window.zumeld.map.getZoom()") == zoom + 1)
    wait("the next level's tiles", lambda: {t["z"] for t in tiles()} == {max(level) + 1})

    # A slider step loads tiles with the new relief level.
    slider = driver.find_element(By.ID, "relief")
    slider.send_keys(Keys.RIGHT, Keys.RIGHT)
    wait("tiles at relief 3", lambda: all("relief=3" in t["src"] for t in tiles()))
    before = {(t["z"], t["x"], t["y"]): t for t in tiles()}

    # Drag a sink over the middle of the map, then undo it with Ctrl+Z.
    version = facts["version"]
    driver.find_element(By.ID, "tool-sink").click()
    box = driver.find_element(By.ID, "map")
    ActionChains(driver).move_to_element_with_offset(box, -120, -80).click_and_hold() \
        .move_by_offset(120, 90).move_by_offset(60, 40).release().perform()
    wait("the edit", lambda: js("return window.zumeld.facts.version") != version)
    # The cells the drag covered, from its corners on screen (the page rounds outward).
    size = js("return window.zumeld.map.getSize()")
    corner = lambda dx, dy: js("return window.zumeld.map.containerPointToLatLng(arguments[0])",
                               [size["x"] // 2 + dx, size["y"] // 2 + dy])
    a, b = corner(-120, -80), corner(60, 50)
    rect = {"left": int(a["lng"]), "top": int(a["lat"]), "right": -int(-b["lng"] // 1), "bottom": -int(-b["lat"] // 1)}
    after = wait("tiles of the edited map",
                 lambda: (t := tiles()) and all(f"v={version}" not in x["src"] for x in t) and t)
    changed = 0
    for t in after:
        old = before.get((t["z"], t["x"], t["y"]))
        if old is None:
            continue
        cells = 256 << (facts["zoom"] - t["z"]) if t["z"] <= facts["zoom"] else 256 >> (t["z"] - facts["zoom"])
        under = (t["x"] * cells <= rect["right"] and rect["left"] < (t["x"] + 1) * cells
                 and t["y"] * cells <= rect["bottom"] and rect["top"] < (t["y"] + 1) * cells)
        check(under or old["hash"] == t["hash"], f"tile {t['src']} away from the sink changed")
        changed += under and old["hash"] != t["hash"]
    check(changed > 0, "no tile under the sink changed")
    driver.find_element(By.ID, "tool-sink").click()
    ActionChains(driver).key_down(Keys.CONTROL).send_keys("z").key_up(Keys.CONTROL).perform()
    wait("the undo", lambda: js("return window.zumeld.facts.version") == version)
    undone = wait("the earlier tiles", lambda: (t := tiles()) and all(f"v={version}" in x["src"] for x in t) and t)
    for t in undone:
        old = before.get((t["z"], t["x"], t["y"]))
        check(old is None or old["hash"] == t["hash"], f"undo did not bring back {t['src']}")

    # The read-out under the pointer names the cell (within a pixel's rounding of the one
    # aimed at) and shows its elevation as the API gives it.
    cell = (500, 350)
    point = js("return window.zumeld.map.latLngToContainerPoint([arguments[1] + 0.5, arguments[0] + 0.5])", *cell)
    size = js("return window.zumeld.map.getSize()")
    ActionChains(driver).move_to_element_with_offset(box, int(point["x"] - size["x"] / 2),
                                                     int(point["y"] - size["y"] / 2)).perform()
    shown = wait("the read-out", lambda: driver.find_element(By.ID, "readout").text)
    x, y, elevation = (int(v) for v in re.fullmatch(r"x (\d+), y (\d+): elevation (-?\d+)", shown).groups())
    check(abs(x - cell[0]) <= 1 and abs(y - cell[1]) <= 1, f"the read-out shows {shown}, aimed at {cell}")
    with urllib.request.urlopen(f"{url}api/elevation?x={x}&y={y}", timeout=10) as r:
        check(json.load(r)["elevation"] == elevation, f"the read-out shows {shown}")

    errors = [e for e in driver.get_log("browser") if e["level"] == "SEVERE"]
    check(not errors, f"console errors: {errors}")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
