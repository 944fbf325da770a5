"""Object correction, measurements and palettes on numpy arrays and camera frames."""

from __future__ import annotations

import os
import subprocess

import numpy as np
import pytest

import kolthermo
from kolthermo import sim
from kolthermo import thermography as thermo
from kolthermo.thermography import ThermographyCode, ThermographyError

# ---- an independent band-radiance model -------------------------------------

_WAVELENGTHS = np.linspace(8e-6, 14e-6, 4001)


def band_radiance(celsius: float) -> float:
    """Planck's law integrated over 8 to 14 um (any constant factor cancels)."""
    kelvin = celsius + 273.15
    spectral = 1.0 / (_WAVELENGTHS**5 * np.expm1(1.438776877e-2 / (_WAVELENGTHS * kelvin)))
    return float(np.trapz(spectral, _WAVELENGTHS))


def blackbody_temperature(radiance: float) -> float:
    low, high = -100.0, 500.0
    for _ in range(60):
        middle = (low + high) / 2
        low, high = (middle, high) if band_radiance(middle) < radiance else (low, middle)
    return (low + high) / 2


def measured(obj, emissivity, reflected, transmission=1.0, atmosphere=None):
    atmosphere = reflected if atmosphere is None else atmosphere
    radiance = transmission * (
        emissivity * band_radiance(obj) + (1 - emissivity) * band_radiance(reflected)
    ) + (1 - transmission) * band_radiance(atmosphere)
    return blackbody_temperature(radiance)


# ---- object correction ------------------------------------------------------


@pytest.mark.parametrize(
    "obj, emissivity, reflected, transmission, atmosphere",
    [(80.0, 0.90, 20.0, 1.0, None), (150.0, 0.50, 40.0, 1.0, None), (60.0, 0.95, 10.0, 0.8, 30.0)],
)
def test_correction_inverts_the_band_radiance_model(
    obj, emissivity, reflected, transmission, atmosphere
):
    reading = measured(obj, emissivity, reflected, transmission, atmosphere)
    frame = np.full((2, 3), reading, dtype=np.float32)
    corrected = thermo.correct(frame, emissivity, reflected, transmission, atmosphere)
    assert corrected.dtype == np.float32 and corrected.shape == (2, 3)
    np.testing.assert_allclose(corrected, obj, atol=0.02)
    assert thermo.correct(
        reading,
        emissivity=emissivity,
        reflected=reflected,
        transmission=transmission,
        atmosphere=atmosphere,
    ) == pytest.approx(obj, abs=0.02)


def test_pixels_without_a_corrected_temperature_become_no_temperature():
    frame = np.array([[25.0, -999.0, np.nan], [np.inf, 30.0, 499.0]], dtype=np.float32)
    corrected = thermo.correct(frame, 0.5, 20.0)
    assert corrected[0, 1] == -999.0  # none stays none
    assert np.all(corrected[[0, 1], [2, 0]] == -999.0)  # not finite
    assert corrected[1, 2] == -999.0  # 499 at emissivity 0.5 leaves the model range
    assert corrected[0, 0] > 25.0 and corrected[1, 1] > 30.0
    assert frame[0, 0] == 25.0  # the input is left alone
    with pytest.raises(ThermographyError) as caught:
        thermo.correct(frame, 0.5, 20.0, strict=True)
    assert caught.value.code == ThermographyCode.OUT_OF_RANGE
    with pytest.raises(ThermographyError):
        thermo.correct(float("nan"), 0.9)


@pytest.mark.parametrize(
    "arguments",
    [
        dict(emissivity=0.0),
        dict(emissivity=1.01),
        dict(emissivity=-0.5),
        dict(emissivity=0.9, transmission=0.0),
        dict(emissivity=0.9, transmission=1.5),
    ],
)
def test_bad_object_parameters_are_refused(arguments):
    with pytest.raises(ThermographyError) as caught:
        thermo.correct(np.zeros((2, 2)), **arguments)
    assert caught.value.code == ThermographyCode.INVALID_ARGUMENT


# ---- measurements -------------------------------------------------------------


@pytest.fixture(scope="module")
def scene():
    """Noise with holes, a repeated minimum and a repeated maximum."""
    frame = np.random.default_rng(7).normal(30.0, 5.0, (48, 64)).astype(np.float32)
    frame[10, 5] = frame[30, 40] = -20.0
    frame[12, 50] = frame[40, 3] = 90.0
    frame[::7, ::9] = -999.0
    return frame


def _disc(frame, x, y, r):
    rows, cols = np.indices(frame.shape)
    return (cols - x) ** 2 + (rows - y) ** 2 <= r * r


def _inscribed(frame, x, y, w, h):
    rows, cols = np.indices(frame.shape)
    return ((cols + 0.5 - x - w / 2) / (w / 2)) ** 2 + (
        (rows + 0.5 - y - h / 2) / (h / 2)
    ) ** 2 <= 1


def _box(frame, x, y, w, h):
    mask = np.zeros(frame.shape, dtype=bool)
    mask[y : y + h, x : x + w] = True
    return mask


@pytest.mark.parametrize(
    "measure, args, mask",
    [
        (thermo.box, (0, 0, 64, 48), lambda f: _box(f, 0, 0, 64, 48)),
        (thermo.box, (3, 8, 50, 33), lambda f: _box(f, 3, 8, 50, 33)),
        (thermo.spot, (20, 20), lambda f: _disc(f, 20, 20, 0)),
        (thermo.spot, (50, 12, 3), lambda f: _disc(f, 50, 12, 3)),
        (thermo.ellipse, (2, 4, 41, 30), lambda f: _inscribed(f, 2, 4, 41, 30)),
    ],
)
def test_region_statistics_agree_with_numpy(scene, measure, args, mask):
    selected = mask(scene) & (scene != -999.0)
    values = scene[selected].astype(np.float64)
    stats = measure(scene, *args)
    assert stats.count == values.size
    assert (stats.min, stats.max) == (values.min(), values.max())
    ys, xs = np.nonzero(selected)  # row order
    assert stats.min_at == (xs[values.argmin()], ys[values.argmin()])
    assert stats.max_at == (xs[values.argmax()], ys[values.argmax()])
    assert stats.mean == pytest.approx(values.mean(), rel=1e-9)
    assert stats.std == pytest.approx(values.std(), rel=1e-9, abs=1e-9)
    assert not stats.alarm


@pytest.mark.parametrize("end", [(63, 0), (0, 47), (63, 47), (30, 45)])
def test_lines_agree_with_their_profile(scene, end):
    profile = thermo.line_profile(scene, 0, 0, *end)
    assert profile.size == max(end) + 1
    assert profile[0] == scene[0, 0] and profile[-1] == scene[end[1], end[0]]
    values = profile[profile != -999.0].astype(np.float64)
    stats = thermo.line(scene, 0, 0, *end)
    assert (stats.count, stats.min, stats.max) == (values.size, values.min(), values.max())
    assert scene[stats.max_at[1], stats.max_at[0]] == stats.max
    assert stats.mean == pytest.approx(values.mean(), rel=1e-9)
    assert stats.std == pytest.approx(values.std(), rel=1e-9)


@pytest.mark.parametrize(
    "alarm, raised",
    [
        (dict(alarm_above=89.0), True),
        (dict(alarm_above=90.0), False),
        (dict(alarm_below=-19.0), True),
        (dict(alarm_below=-20.0), False),
    ],
)
def test_the_alarm_follows_the_extremes(scene, alarm, raised):
    assert thermo.box(scene, 0, 0, 64, 48, **alarm).alarm is raised


def test_corrected_measurements_are_measurements_of_the_corrected_frame(scene):
    corrected = thermo.correct(scene, 0.8, 15.0)  # holes stay holes
    for measure, args in ((thermo.box, (3, 8, 50, 33)), (thermo.spot, (50, 12, 3))):
        direct = measure(scene, *args, emissivity=0.8, reflected=15.0)
        expected = measure(corrected, *args)
        assert direct.count == expected.count
        assert (direct.min, direct.max, direct.mean) == pytest.approx(
            (expected.min, expected.max, expected.mean), abs=1e-4
        )
    np.testing.assert_allclose(
        thermo.line_profile(scene, 0, 0, 63, 47, emissivity=0.8, reflected=15.0),
        thermo.line_profile(corrected, 0, 0, 63, 47),
        atol=1e-4,
    )


@pytest.mark.parametrize(
    "call, code",
    [
        (lambda f: thermo.box(f, 60, 0, 5, 5), ThermographyCode.OUTSIDE_FRAME),
        (lambda f: thermo.box(f, 0, 0, 0, 5), ThermographyCode.OUTSIDE_FRAME),
        (lambda f: thermo.spot(f, -1, 3), ThermographyCode.OUTSIDE_FRAME),
        (lambda f: thermo.line(f, 0, 0, 64, 0), ThermographyCode.OUTSIDE_FRAME),
        (lambda f: thermo.line_profile(f, 0, 0, 0, 48), ThermographyCode.OUTSIDE_FRAME),
        (lambda f: thermo.spot(f, 0, 0), ThermographyCode.EMPTY_REGION),  # a hole
        (lambda f: thermo.box(f, 0, 0, 2, 2, emissivity=2.0), ThermographyCode.INVALID_ARGUMENT),
    ],
    ids=[
        "box-right",
        "box-width-0",
        "spot-left",
        "line-right",
        "profile-below",
        "hole",
        "emissivity",
    ],
)
def test_bad_regions_are_refused_with_their_code(scene, call, code):
    with pytest.raises(ThermographyError) as caught:
        call(scene)
    assert caught.value.code == code


def test_malformed_python_arguments_are_refused_before_the_library(scene):
    with pytest.raises(ValueError, match="2-D"):
        thermo.box(scene[0], 0, 0, 1, 1)
    with pytest.raises(ValueError, match="both"):
        thermo.box(scene, 0, 0, 1, 1, alarm_above=1.0, alarm_below=0.0)
    with pytest.raises(TypeError, match="without an emissivity"):
        thermo.spot(scene, 1, 1, reflected=20.0)
    with pytest.raises(TypeError, match="'emisivity'"):  # a misspelt keyword is never ignored
        thermo.ellipse(scene, 0, 0, 2, 2, emisivity=0.9)
    with pytest.raises(TypeError, match="'alarm_above'"):  # a profile has no alarm
        thermo.line_profile(scene, 0, 0, 2, 2, alarm_above=1.0)
    with pytest.raises(ValueError, match="32-bit"):
        thermo.spot(scene, 2**31, 1)
    with pytest.raises(ValueError, match="finite"):
        thermo.correct(scene, 0.9, reflected=float("nan"))


# ---- palettes ------------------------------------------------------------------


def test_palettes_have_names_that_round_trip():
    names = thermo.palette_names()
    assert {"iron", "rainbow", "white-hot", "black-hot"} <= set(names) and len(names) >= 6
    assert [thermo.palette_number(name) for name in names] == list(range(len(names)))
    with pytest.raises(ValueError, match="unknown palette"):
        thermo.palette_number("sepia")


@pytest.mark.parametrize("palette", list(thermo.Palette))
def test_palettes_map_the_range_ends_to_the_palette_ends(palette):
    colors = thermo.palette_colors(palette)
    ramp = np.linspace(10.0, 40.0, 31, dtype=np.float32).reshape(1, -1)
    frame = np.vstack([ramp, ramp - 100.0, ramp + 100.0])
    frame[0, 15] = -999.0

    manual = thermo.colorize(frame, palette, (10.0, 40.0))
    np.testing.assert_array_equal(manual[0, [0, -1]], colors[[0, 255]])
    assert np.all(manual[1] == colors[0]) and np.all(manual[2] == colors[255])  # clamped
    assert np.all(manual[0, 15] == 0)  # no temperature is black

    auto, used = thermo.colorize(ramp, palette, return_range=True)
    assert used == (10.0, 40.0)
    np.testing.assert_array_equal(auto[0, [0, -1]], colors[[0, 255]])
    equalised = thermo.colorize(ramp, palette, "histogram").reshape(-1, 3)
    assert all((pixel == colors).all(axis=1).any() for pixel in equalised)


@pytest.mark.parametrize(
    "isotherm, marked",
    [
        (("above", 30.0), lambda t: t >= 30.0),
        (("below", 15.0), lambda t: t <= 15.0),
        (("between", 20.0, 25.0), lambda t: (t >= 20.0) & (t <= 25.0)),
    ],
)
def test_isotherms_mark_exactly_their_pixels(isotherm, marked):
    frame = np.arange(10.0, 41.0, dtype=np.float32).reshape(1, -1)
    rgb = thermo.colorize(frame, "white-hot", isotherm=isotherm, isotherm_color=(0, 200, 255))
    painted = (rgb == (0, 200, 255)).all(axis=2)[0]
    np.testing.assert_array_equal(painted, marked(frame[0]))


@pytest.mark.parametrize(
    "arguments, error",
    [
        (dict(range="linear"), ValueError),
        (dict(range=(1.0,)), TypeError),
        (dict(isotherm=("over", 3.0)), ValueError),
        (dict(isotherm=("between", 3.0)), ValueError),
        (dict(isotherm=("above", 3.0), isotherm_color=(0, 0, 256)), ValueError),
    ],
)
def test_malformed_colour_options_are_refused(arguments, error):
    with pytest.raises(error):
        thermo.colorize(np.zeros((2, 2)), **arguments)


def test_a_frame_without_temperatures_cannot_be_coloured():
    with pytest.raises(ThermographyError) as caught:
        thermo.colorize(np.full((3, 3), -999.0))
    assert caught.value.code == ThermographyCode.EMPTY_REGION


def test_the_scale_bar_is_drawn_beside_the_picture_with_the_range_as_labels(tmp_path):
    rgb, (low, high) = thermo.colorize(
        np.linspace(0, 100, 120 * 90).reshape(90, 120), return_range=True
    )
    labels = thermo.scale_labels(low, high)
    assert labels[0] == low and labels[-1] == high and labels == sorted(labels)
    pictured = thermo.with_scale_bar(rgb, low, high, "iron")
    assert pictured.shape == (90, 120 + thermo.scale_bar_width(90), 3)
    np.testing.assert_array_equal(pictured[:, :120], rgb)
    assert len(np.unique(pictured[:, 120:].reshape(-1, 3), axis=0)) > 20  # colours and text
    with pytest.raises(thermo.ThermographyFileError) as caught:
        thermo.with_scale_bar(rgb, low, high, font=tmp_path / "absent.ttf")
    assert caught.value.code == ThermographyCode.FONT_UNAVAILABLE


# ---- camera frames ------------------------------------------------------------


@pytest.fixture(scope="module")
def table4000(tmp_path_factory):
    tool = os.environ.get("KOLTHERMO_TABLE_TOOL")
    assert tool, "set KOLTHERMO_TABLE_TOOL to the kolthermo-table program"
    table = tmp_path_factory.mktemp("table") / "table4000.bin"
    subprocess.run([tool, "--layout", "4000", "--output", str(table)], check=True)
    return table


@pytest.mark.parametrize(
    "surface, emissivity, reflected, tolerance", [(80.0, 0.90, 20.0, 0.1), (150.0, 0.50, 40.0, 0.2)]
)
def test_camera_temperatures_corrected_for_emissivity(
    table4000, surface, emissivity, reflected, tolerance
):
    """A surface that is not a blackbody reads low, and true once corrected."""
    # The sensor at the table's calibration temperature before the camera
    # opens, so no drift compensation is pending.
    sim.set_internal_temperature(0, 30.0)
    sim.set_scene(0, sim.Scene.UNIFORM, celsius=surface, emissivity=emissivity, reflected=reflected)
    with kolthermo.Camera() as camera:
        camera.nuc_hold_ms = 0
        camera.load_table(table4000)
        frame_id = camera.one_shot()
        seen = camera.temperature(frame_id)
        objects = camera.temperature(frame_id, emissivity=emissivity, reflected=reflected)
        with pytest.raises(TypeError):
            camera.temperature(frame_id, reflected=reflected)
    centre = np.s_[80:200, 100:280]
    assert seen[centre].mean() < surface - 2.0
    assert objects[centre].mean() == pytest.approx(surface, abs=tolerance)
    np.testing.assert_array_equal(objects, thermo.correct(seen, emissivity, reflected))
