#!/usr/bin/python3
"""fmapview's page in headless Chromium (software WebGL 2).

Serves the page on the loopback address, opens TEST2A.FMP through the file
input and compares the canvas, after each of a few keys, with the desktop
shader renderer's picture of the same view (web_reference, Mesa offscreen).
Then: a damaged file shows the desktop tools' one-line reason and keeps the
picture, a file over the size limit is refused, ?map= opens only names
beside the page, p downloads MAP-1.png, and the console stays free of
errors.

With --measure it prints the time to the first frame and frame rates
instead of testing.
"""
import argparse
import base64
import functools
import http.server
import os
import subprocess
import sys
import threading
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys

WIDTH, HEIGHT, BAND = 640, 480, 20
# Pictures match when at most this share of pixels differs by more than
# two levels in a channel.
MOST_DIFFERING = 0.005
LEVELS = 2


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def start_server(folder):
    handler = functools.partial(QuietHandler, directory=folder)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def start_browser(downloads):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for flag in ("--headless=new", "--no-sandbox", "--enable-unsafe-swiftshader", "--disable-gpu-sandbox",
                 "--disable-dev-shm-usage", "--no-first-run", "--disable-extensions"):
        options.add_argument(flag)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                           {"width": WIDTH, "height": HEIGHT, "deviceScaleFactor": 1, "mobile": False})
    driver.execute_cdp_cmd("Browser.setDownloadBehavior", {"behavior": "allow", "downloadPath": downloads})
    driver.set_script_timeout(240)
    return driver


def wait_for(what, condition, seconds=30):
    end = time.time() + seconds
    while time.time() < end:
        value = condition()
        if value:
            return value
        time.sleep(0.05)
    raise AssertionError("timed out waiting for " + what)


def page_state(driver):
    return driver.execute_script("return fmapviewPage.state")


def capture(driver):
    """The map area of the next frame, RGBA, top row first."""
    encoded = driver.execute_async_script("""
        var done = arguments[arguments.length - 1];
        fmapviewPage.capture().then(function (picture) {
            var text = '';
            for (var i = 0; i < picture.rgba.length; i += 0x8000)
                text += String.fromCharCode.apply(null, picture.rgba.subarray(i, i + 0x8000));
            done([btoa(text), picture.width, picture.height]);
        });""")
    rgba, width, height = base64.b64decode(encoded[0]), encoded[1], encoded[2]
    assert (width, height) == (WIDTH, HEIGHT), "canvas is %dx%d" % (width, height)
    return rgba[:WIDTH * (HEIGHT - BAND) * 4]


def differing_share(a, b):
    assert len(a) == len(b)
    differing = 0
    for p in range(0, len(a), 4):
        if (abs(a[p] - b[p]) > LEVELS or abs(a[p + 1] - b[p + 1]) > LEVELS
                or abs(a[p + 2] - b[p + 2]) > LEVELS):
            differing += 1
    return differing / (len(a) // 4)


def reference(args, map_path, steps):
    out = os.path.join(args.work, "reference.rgba")
    subprocess.run([args.reference, map_path, str(WIDTH), str(HEIGHT), out] + steps, check=True)
    with open(out, "rb") as f:
        return f.read()


def info_line(driver):
    return driver.find_element(By.ID, "info").text


def open_file(driver, path):
    opened = page_state(driver)["opened"]
    driver.find_element(By.ID, "file").send_keys(path)
    wait_for("the page to take " + os.path.basename(path), lambda: page_state(driver)["opened"] > opened)


def press(driver, key):
    webdriver.ActionChains(driver).send_keys(key).perform()


def console_errors(driver):
    return [entry["message"] for entry in driver.get_log("browser") if entry["level"] == "SEVERE"]


def test(args, driver, base):
    map_path = os.path.join(args.page, "TEST2A.FMP")
    driver.get(base)
    wait_for("the viewer to start", lambda: page_state(driver)["ready"])
    open_file(driver, map_path)
    wait_for("the first frame", lambda: page_state(driver)["firstFrameAt"])
    assert driver.title.startswith("fmapview: TEST2A.FMP - layer 0"), driver.title
    # Paused and reloaded: the animations stand at their first frames, as
    # in the reference picture.
    press(driver, " ")
    press(driver, "r")
    wait_for("the reload", lambda: page_state(driver)["opened"] >= 2)

    # Keys, and the reference's steps for the view they lead to.
    keys = [
        ("", []),
        # About two pixels a texel. Around one texel a pixel and further out
        # the two software rasterisers' filtering weights differ by a few
        # levels where texels change sharply (the grass, the edges of
        # blended second graphics) in over 0.5 % of the pixels.
        ("+" * 10, ["zoom"] * 10),
        (Keys.ARROW_LEFT, ["pan-left"]),
        ("g", ["second"]),
        ("a", ["all"]),
        ("1", ["layer-1"]),
        ("b", ["blocks"]),
    ]
    steps = []
    previous = None
    for key, more in keys:
        if key:
            press(driver, key)
        steps += more
        picture = capture(driver)
        share = differing_share(picture, reference(args, map_path, steps))
        print("after %-12s %.3f %% of pixels differ" % (" ".join(steps) or "loading", 100 * share))
        assert share <= MOST_DIFFERING, "the page's picture differs from the desktop's after " + repr(steps)
        if previous is not None:
            assert differing_share(picture, previous) > 0.01, "the picture did not change after " + repr(steps)
        previous = picture
    press(driver, "b")
    kept = capture(driver)

    # The info line names the cell under the mouse; h shows the help.
    canvas = driver.find_element(By.ID, "canvas")
    webdriver.ActionChains(driver).move_to_element_with_offset(canvas, 0, 0).perform()
    wait_for("the cell's description", lambda: info_line(driver).startswith("cell ("))
    assert "  block " in info_line(driver) and "  flags " in info_line(driver), info_line(driver)
    press(driver, "h")
    help_box = driver.find_element(By.ID, "help")
    wait_for("the help", help_box.is_displayed)
    assert "f                  fit the whole map" in help_box.text, help_box.text
    press(driver, "h")
    wait_for("the help to go", lambda: not help_box.is_displayed())

    # p downloads the picture.
    press(driver, "p")
    saved = os.path.join(args.work, "TEST2A-1.png")
    wait_for("TEST2A-1.png", lambda: os.path.exists(saved))
    with open(saved, "rb") as f:
        assert f.read(8) == b"\x89PNG\r\n\x1a\n"

    # A damaged map: the desktop tools' reason, the last good map kept.
    with open(map_path, "rb") as f:
        image = bytearray(f.read())
    at = image.find(b"BKDT")
    image[at + 4:at + 8] = b"\xff\xff\xff\x00"
    broken = os.path.join(args.work, "BROKEN.FMP")
    with open(broken, "wb") as f:
        f.write(image)
    expected = subprocess.run([os.path.join(os.path.dirname(args.reference), "fmapinfo"), broken],
                              capture_output=True, text=True).stderr.strip()
    reason = expected.split(": ", 2)[2]
    assert "chunk" in reason and "offset" in reason, expected
    open_file(driver, broken)
    wait_for("the refusal", lambda: info_line(driver).startswith("cannot load"))
    assert info_line(driver) == "cannot load BROKEN.FMP: " + reason + "  (showing the last good map)", \
        info_line(driver)
    assert differing_share(capture(driver), kept) == 0, "the last good map is not kept"
    assert driver.title.startswith("fmapview: TEST2A.FMP"), driver.title

    # A file over the limit is refused before it is read.
    huge = os.path.join(args.work, "HUGE.FMP")
    with open(huge, "wb") as f:
        f.truncate(300 * 1024 * 1024)
    driver.find_element(By.ID, "file").send_keys(huge)
    wait_for("the size refusal", lambda: "HUGE.FMP" in info_line(driver))
    assert info_line(driver) == ("cannot load HUGE.FMP: the file is 300.0 MiB; this page opens map files up to "
                                 "128.0 MiB  (showing the last good map)"), info_line(driver)
    os.remove(huge)

    # ?map= opens files beside the page, and nothing else.
    driver.get(base + "?map=..%2Fsecret.fmp")
    wait_for("the name refusal", lambda: info_line(driver).startswith("cannot load"))
    assert info_line(driver) == "cannot load ../secret.fmp: only files beside this page can be opened by name"
    driver.get(base + "?map=https%3A%2F%2Fexample.com%2FA.FMP")
    wait_for("the address refusal", lambda: info_line(driver).startswith("cannot load"))
    assert "only files beside this page" in info_line(driver)
    driver.find_element(By.ID, "example-vorla").click()
    wait_for("VORLA.FMP", lambda: driver.title.startswith("fmapview: VORLA.FMP - layer 0"))
    assert driver.current_url.endswith("?map=VORLA.FMP")

    errors = console_errors(driver)
    # The refused addresses' own 404s are not the page's errors; there are none.
    assert not errors, "console errors: " + repr(errors)
    print("web_page: all checks passed")


def measure(args, driver, base):
    for name in ("TEST2A.FMP", "VORLA.FMP", "LARGE.FMP"):
        if not os.path.exists(os.path.join(args.page, name)):
            print("%s: not beside the page, skipped" % name)
            continue
        # A fresh start: the last map's slow 3D frames are not waited for.
        driver.get("about:blank")
        time.sleep(2)
        driver.get(base + "?map=" + name)
        first = wait_for("the first frame", lambda: page_state(driver)["firstFrameAt"], 120)
        time.sleep(2)
        rates = []
        # The large map's 3D view takes minutes a frame in software WebGL.
        for keys in ("", "a") if name == "LARGE.FMP" else ("", "a", "b"):
            for key in keys:
                press(driver, key)
            time.sleep(3)
            frames = driver.execute_async_script("""
                var done = arguments[arguments.length - 1], count = 0, start = performance.now();
                function frame() {
                    if (++count < 120 && performance.now() - start < 5000) requestAnimationFrame(frame);
                    else done([count, performance.now() - start]);
                }
                requestAnimationFrame(frame);""")
            rates.append("%s %.1f fps" % ({"": "fitted", "a": "all layers", "b": "3D blocks"}[keys],
                                          1000.0 * frames[0] / frames[1]))
        print("%s: first frame %.0f ms after navigation start; %s" % (name, first, "; ".join(rates)))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--page", required=True)
    parser.add_argument("--reference", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--measure", action="store_true")
    args = parser.parse_args()
    args.page, args.work = os.path.abspath(args.page), os.path.abspath(args.work)
    if not args.measure and not os.access(args.reference, os.X_OK):
        sys.exit("web_page: %s is missing: build the desktop tree first (cmake --build build)" % args.reference)
    os.makedirs(args.work, exist_ok=True)
    for stale in ("TEST2A-1.png", "BROKEN.FMP"):
        if os.path.exists(os.path.join(args.work, stale)):
            os.remove(os.path.join(args.work, stale))
    server = start_server(args.page)
    base = "http://127.0.0.1:%d/" % server.server_address[1]
    driver = start_browser(args.work)
    try:
        (measure if args.measure else test)(args, driver, base)
    finally:
        driver.quit()
        server.shutdown()


if __name__ == "__main__":
    main()
