"""The viewer in headless Chromium, served by ``kolthermo view`` on the
simulated camera (default scene: a 90 degree mug, a 5 degree cold pack)."""

from __future__ import annotations

import numpy as np
import pytest
import tifffile
from PIL import Image
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import Select

from conftest import limit, wait_for
from kolthermo import thermography as thermo

WIDTH, HEIGHT = 384, 288
MUG_PIXEL = (299, 197)  # inside the mug, columns 280..317 and rows 168..225
COLD_PACK = (24, 28, 84, 76)  # left, top, right, bottom (exclusive)


def frames_drawn(browser) -> int:
    return browser.execute_script("return window.viewerStats.frames")


def picture_mean(browser) -> tuple:
    """The picture's mean red, green and blue."""
    return tuple(
        browser.execute_script(
            """const c = document.getElementById('picture');
               const d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
               const s = [0, 0, 0];
               for (let i = 0; i < d.length; i += 4) {
                 s[0] += d[i]; s[1] += d[i + 1]; s[2] += d[i + 2];
               }
               return s.map(v => v / (d.length / 4));"""
        )
    )


def wait_frames(browser, more: int) -> None:
    start = frames_drawn(browser)
    wait_for(lambda: frames_drawn(browser) >= start + more, 10, f"{more} more frames")


def state(browser) -> str:
    return browser.find_element(By.ID, "state").get_attribute("class")


def to_overlay(browser, x: float, y: float) -> tuple:
    """Selenium's offset (from the overlay's centre) of frame pixel (x, y)'s centre."""
    overlay = browser.find_element(By.ID, "overlay")
    size = overlay.size
    scale_x, scale_y = size["width"] / WIDTH, size["height"] / HEIGHT
    return (
        int((x + 0.5) * scale_x - size["width"] / 2),
        int((y + 0.5) * scale_y - size["height"] / 2),
    )


@pytest.fixture(scope="module")
def page(browser, viewer):
    browser.get(viewer.url)
    # The table's NUC hold keeps the first second or so of frames back.
    wait_for(lambda: frames_drawn(browser) >= 3, 15, "the first frames")
    return browser


def test_frames_arrive_and_the_picture_changes(page):
    assert "live" in state(page)
    first = page.execute_script("return window.viewerStats.lastFrame")
    before = picture_mean(page)
    wait_frames(page, 10)
    # New frame IDs, and new pixels: the sensor noise alone moves the picture.
    assert page.execute_script("return window.viewerStats.lastFrame") != first
    assert picture_mean(page) != before


def test_hover_over_the_mug_shows_its_temperature(page):
    overlay = page.find_element(By.ID, "overlay")
    ActionChains(page).move_to_element_with_offset(overlay, *to_overlay(page, *MUG_PIXEL)).perform()
    readout = page.find_element(By.ID, "cursor-temp")
    wait_for(lambda: readout.get_attribute("data-value"), 5, "a reading under the cursor")
    assert f"at ({MUG_PIXEL[0]}, {MUG_PIXEL[1]})" in readout.text
    assert float(readout.get_attribute("data-value")) == pytest.approx(90.0, abs=0.5)


def test_box_over_the_cold_pack_measures_it(page):
    page.find_element(By.ID, "tool-clear").click()
    page.find_element(By.ID, "tool-box").click()
    overlay = page.find_element(By.ID, "overlay")
    left, top, right, bottom = COLD_PACK
    ActionChains(page).move_to_element_with_offset(
        overlay, *to_overlay(page, left, top)
    ).click_and_hold().move_to_element_with_offset(
        overlay, *to_overlay(page, right - 1, bottom - 1)
    ).release().perform()
    page.find_element(By.ID, "tool-box").click()  # done placing boxes

    def cells():
        # The rows are redrawn with every frame: read them in one go.
        values = page.execute_script(
            """const rows = document.querySelectorAll('#tools tr');
               if (rows.length !== 1) return null;
               return Array.from(rows[0].cells).slice(2).map(td => td.dataset.value);"""
        )
        return values if values and values[0] else None

    minimum, maximum, mean = (float(value) for value in wait_for(cells, 5, "the box's statistics"))
    assert minimum == pytest.approx(5.0, abs=0.6)
    assert mean == pytest.approx(5.0, abs=0.2)
    assert maximum < 6.0


def test_each_palette_draws_a_different_picture(page):
    palette = Select(page.find_element(By.ID, "palette"))
    names = [option.get_attribute("value") for option in palette.options]
    assert names == thermo.palette_names()
    means = {}
    for name in names:
        palette.select_by_value(name)
        wait_for(
            lambda: page.execute_script("return window.viewerStats.palette") == name,
            5,
            f"a frame in {name}",
        )
        means[name] = np.round(picture_mean(page), 0)
    assert len({tuple(mean) for mean in means.values()}) == len(names), means
    palette.select_by_value("iron")


def test_snapshot_writes_files_that_read_back(page, viewer):
    page.find_element(By.ID, "snapshot").click()
    message = page.find_element(By.ID, "message")
    wait_for(lambda: message.text, 10, "the snapshot")
    assert "Saved" in message.text
    tiffs = sorted(viewer.output.glob("snapshot-*.tiff"))
    pngs = sorted(viewer.output.glob("snapshot-*.png"))
    assert len(tiffs) == len(pngs) == 1
    assert tiffs[0].stem == pngs[0].stem and tiffs[0].name in message.text
    celsius = tifffile.imread(tiffs[0])
    assert celsius.shape == (HEIGHT, WIDTH) and celsius.dtype == np.float32
    # Row 0 at the top: the mug where the scene has it, the cold pack too.
    assert celsius[168:226, 280:318].mean() == pytest.approx(90.0, abs=0.3)
    assert celsius[28:76, 24:84].mean() == pytest.approx(5.0, abs=0.3)
    palette = Select(page.find_element(By.ID, "palette")).first_selected_option.get_attribute(
        "value"
    )
    picture = np.asarray(Image.open(pngs[0]).convert("RGB"))
    assert np.array_equal(picture, thermo.colorize(celsius, palette, "auto"))


def test_recording_writes_one_page_per_frame(page, viewer):
    record = page.find_element(By.ID, "record")
    record.click()
    wait_for(lambda: "active" in record.get_attribute("class"), 5, "the recording to start")
    wait_frames(page, 10)
    record.click()
    wait_for(
        lambda: "frames)" in page.find_element(By.ID, "message").text, 5, "the recording's end"
    )
    (path,) = viewer.output.glob("recording-*.tiff")
    with tifffile.TiffFile(path) as tiff:
        pages = [one.asarray() for one in tiff.pages]
    assert len(pages) >= 10
    assert f"({len(pages)} frames)" in page.find_element(By.ID, "message").text
    for celsius in (pages[0], pages[-1]):
        assert celsius.shape == (HEIGHT, WIDTH)
        assert celsius[168:226, 280:318].mean() == pytest.approx(90.0, abs=0.3)


def test_unplug_shows_lost_and_replug_recovers(page):
    page.find_element(By.ID, "sim-unplug").click()
    wait_for(lambda: "lost" in state(page), 10, "the lost state")
    assert page.find_element(By.ID, "lost-banner").is_displayed()
    page.find_element(By.ID, "sim-replug").click()
    wait_for(lambda: "live" in state(page), 15, "frames after the replug")
    assert not page.find_element(By.ID, "lost-banner").is_displayed()
    wait_frames(page, 5)


def test_beyond_loopback_every_request_needs_the_token(start_viewer, viewer, browser):
    open_viewer = start_viewer("--host", "0.0.0.0")
    token = open_viewer.url.split("?token=")[1]
    assert len(token) >= 32
    for path, headers, expected in [
        ("/", {}, 403),
        ("/static/viewer.js", {}, 403),
        ("/ws", {}, 403),
        ("/?token=wrong", {}, 403),
        (f"/?token={token}", {}, 200),
        ("/static/viewer.js", {"Cookie": f"kolthermo_viewer_token={token}"}, 200),
    ]:
        assert open_viewer.status_of(open_viewer.local(path), headers) == expected, path
    # On loopback no token is needed, but only loopback host names are answered.
    assert viewer.status_of(viewer.local("/")) == 200
    assert viewer.status_of(viewer.local("/"), {"Host": f"attacker.example:{viewer.port}"}) == 403
    # The page with the token in its URL loads its files and its frames.
    browser.get(open_viewer.local(f"/?token={token}"))
    wait_for(lambda: frames_drawn(browser) >= 3, 15, "frames through the token")
    # SIGTERM reaches the server through the tool, which reports the stop request.
    assert open_viewer.stop() == 130
