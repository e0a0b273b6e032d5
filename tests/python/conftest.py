"""What the module's tests share: the build's varnex and module, our samples,
and the real files when they are there (ctest sets the environment)."""

import csv
import os
import pathlib
import subprocess

import numpy as np
import pytest

varnex = pytest.importorskip("varnex")

ROOT = pathlib.Path(__file__).resolve().parents[2]
SAMPLES = ROOT / "samples"
FUZZ = ROOT / "fuzz"
MOCAP = pathlib.Path(os.environ.get("VARNEX_SHARED_MOCAP", ROOT.parent / "shared" / "mocap"))
VARNEX = os.environ.get("VARNEX_BIN", str(ROOT / "build" / "bin" / "varnex"))


def real_file(relative):
    """A file of the shared mocap folder; skips the test when it is absent."""
    path = MOCAP / relative
    if not path.is_file():
        pytest.skip(f"{path} is absent")
    return path


def run_varnex(*args):
    return subprocess.run([VARNEX, *map(str, args)], capture_output=True, text=True, check=True)


def read_positions(path):
    """The command line's positions CSV: times, paths and positions (F, J, 3)."""
    with open(path, newline="") as f:
        rows = list(csv.reader(f))[1:]
    frames = int(rows[-1][0]) + 1
    nodes = len(rows) // frames
    times = np.array([float(r[1]) for r in rows[::nodes]])
    paths = tuple(r[2] for r in rows[:nodes])
    positions = np.array([[float(v) for v in r[3:6]] for r in rows]).reshape(frames, nodes, 3)
    return times, paths, positions


def figure_size(positions):
    """The figure's extent at its first frame."""
    first = positions[0]
    return float(np.max(first.max(axis=0) - first.min(axis=0)))
