"""Threads share the one host one import at a time, Ctrl-C stops an import
through the host's abort poll, and worker processes import in parallel."""

import multiprocessing
import os
import signal
import threading

import numpy as np
import pytest

import varnex
from conftest import SAMPLES

FILES = [SAMPLES / "walk.bvh", SAMPLES / "wave.bvh", SAMPLES / "figure.amc"]


def positions(path):
    return varnex.load(path, frame_rate=60).world_positions


def test_threads_loading_at_once_get_their_own_takes():
    expected = [positions(path) for path in FILES]
    start = threading.Barrier(2)
    results = {}

    def load_each(worker):
        start.wait()
        results[worker] = [positions(FILES[(worker + k) % len(FILES)]) for k in range(12)]

    threads = [threading.Thread(target=load_each, args=(worker,)) for worker in range(2)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    for worker in range(2):
        for k, got in enumerate(results[worker]):
            np.testing.assert_array_equal(got, expected[(worker + k) % len(FILES)])


def test_worker_processes_import_in_parallel():
    varnex.load(FILES[0])  # the plug-in is started before the fork
    with multiprocessing.get_context("fork").Pool(2) as pool:
        got = pool.map(positions, FILES)
    for path, array in zip(FILES, got):
        np.testing.assert_array_equal(array, positions(path))


def write_long_take(path, frames=20000, joints=16):
    """A chain of joints with a motion long enough to interrupt."""
    lines = ["HIERARCHY", "ROOT j0", "{", "OFFSET 0 0 0", "CHANNELS 6 Xposition Yposition Zposition "
             "Zrotation Xrotation Yrotation"]
    for j in range(1, joints):
        lines += [f"JOINT j{j}", "{", "OFFSET 0 1 0", "CHANNELS 3 Zrotation Xrotation Yrotation"]
    lines += ["End Site", "{", "OFFSET 0 1 0", "}"] + ["}"] * joints
    values = np.random.default_rng(1).uniform(-90, 90, (frames, 3 + 3 * joints))
    with open(path, "w") as f:
        f.write("\n".join(lines + ["MOTION", f"Frames: {frames}", "Frame Time: 0.008333333"]) + "\n")
        np.savetxt(f, values, fmt="%.2f")


def test_ctrl_c_stops_an_import_and_the_next_one_works(tmp_path, monkeypatch):
    write_long_take(tmp_path / "long.bvh")
    staging = tmp_path / "staging"
    staging.mkdir()
    monkeypatch.setenv("TMPDIR", str(staging))
    # One SIGINT, 10 ms into an import that takes several times as long.
    timer = threading.Timer(0.01, os.kill, (os.getpid(), signal.SIGINT))
    with pytest.raises(KeyboardInterrupt):
        timer.start()
        varnex.load(tmp_path / "long.bvh")
    timer.join()
    assert list(staging.iterdir()) == []
    np.testing.assert_array_equal(positions(FILES[0]), positions(FILES[0]))
    assert varnex.load(tmp_path / "long.bvh").frame_count == 20000
