"""A take's arrays against the command line's export of the same import, and
against forward kinematics of its own local arrays."""

import numpy as np
import pytest

import varnex
from conftest import SAMPLES, figure_size, read_positions, real_file, run_varnex

# (id, the file, load()'s options, the same as command-line options)
CASES = [
    ("walk", lambda: SAMPLES / "walk.bvh", {}, []),
    ("walk_scaled_z_up", lambda: SAMPLES / "walk.bvh", {"scale": 0.01, "up": "z"}, ["--scale", "0.01", "--up", "z"]),
    ("wave_reduced", lambda: SAMPLES / "wave.bvh", {"reduce_rotation": True, "angular_threshold": 0.5},
     ["--reduce-rotation", "--angular-threshold", "0.5"]),
    ("figure_amc_as_built", lambda: SAMPLES / "figure.amc", {"frame_rate": 120, "as_built": True},
     ["--frame-rate", "120", "--as-built"]),
    ("real_bvh_z_up", lambda: real_file("bvh/pybvh_bvh_test1.bvh"), {"height": 1.75}, ["--height", "1.75"]),
    ("real_bvh_joint_positions", lambda: real_file("bvh/bandainamco2_wave_left_hand_active_011.bvh"), {}, []),
    ("real_amc", lambda: real_file("acclaim/cmu_09/09_06-run.amc"), {"frame_rate": 120}, ["--frame-rate", "120"]),
    ("walk_edited", lambda: SAMPLES / "walk.bvh", {"frames": "-8:-1", "fps": 45, "in_place": True},
     ["--frames=-8:-1", "--fps", "45", "--in-place"]),
]


def rotate(q, v):
    """Quaternions x, y, z, w applied to vectors, both (..., 4) and (..., 3)."""
    u, w = q[..., :3], q[..., 3:]
    t = 2.0 * np.cross(u, v)
    return v + w * t + np.cross(u, t)


def multiply(a, b):
    ua, wa, ub, wb = a[..., :3], a[..., 3:], b[..., :3], b[..., 3:]
    return np.concatenate([wa * ub + wb * ua + np.cross(ua, ub), wa * wb - np.sum(ua * ub, -1, keepdims=True)], -1)


@pytest.mark.parametrize("name,file,options,arguments", CASES, ids=[c[0] for c in CASES])
def test_arrays_are_the_command_lines_positions(tmp_path, name, file, options, arguments):
    path = file()
    run_varnex("import", path, "-q", "--positions", tmp_path / "p.csv", *arguments)
    times, paths, positions = read_positions(tmp_path / "p.csv")
    take = varnex.load(path, **options)

    size = figure_size(positions)
    assert take.name == path.stem
    assert take.paths == paths
    assert take.world_positions.shape == positions.shape == (take.frame_count, len(take.names), 3)
    np.testing.assert_allclose(take.times, times, rtol=0, atol=1e-6)
    np.testing.assert_allclose(take.world_positions, positions, rtol=0, atol=1e-6 * size)

    # The local arrays compose to the world positions, parents first.
    world_t = np.empty_like(take.local_translations)
    world_q = np.empty_like(take.local_rotations)
    for j, parent in enumerate(take.parents):
        t, q = take.local_translations[:, j], take.local_rotations[:, j]
        if parent < 0:
            world_t[:, j], world_q[:, j] = t, q
        else:
            world_t[:, j] = world_t[:, parent] + rotate(world_q[:, parent], t)
            world_q[:, j] = multiply(world_q[:, parent], q)
    np.testing.assert_allclose(world_t, take.world_positions, rtol=0, atol=1e-9 * size)
    np.testing.assert_allclose(np.linalg.norm(take.local_rotations, axis=-1), 1.0, atol=1e-12)


def test_what_a_take_describes():
    take = varnex.load(SAMPLES / "walk.bvh")
    assert (take.fps, take.frame_count) == (30, 10)
    assert take.names[:3] == ("walk", "Hips", "Spine")
    assert take.kinds[:2] == ("node", "joint") and "end effector" in take.kinds
    assert take.parents.dtype == np.int32 and take.parents[0] == -1 and all(take.parents[1:] >= 0)
    assert take.rotation_orders[:2] == ("XYZ", "YXZ")  # "Zrotation Xrotation Yrotation": Y turns first
    assert take.local_rotations.dtype == np.float64 and not take.world_positions.flags.writeable
    assert take.world_positions is take.world_positions  # made once
    np.testing.assert_array_equal(take.offsets[2], [0, 10, 0])  # Spine's OFFSET
    np.testing.assert_array_equal(take.local_translations[:, 2], np.broadcast_to([0, 10, 0], (10, 3)))
    assert repr(take) == "<varnex.Take walk: 11 nodes, 10 frames at 30 fps>"
    assert take.adjustments[0].startswith("up y (its lowest joints come back to one level")
    assert take.height == 63.0
    assert varnex.load(SAMPLES / "walk.bvh", as_built=True).adjustments == ()


def test_takes_of_one_skeleton_are_each_takes_import():
    takes = varnex.load_takes(SAMPLES / "figure.asf", [SAMPLES / "figure.amc", SAMPLES / "figure_bow.amc"],
                              frame_rate=60)
    alone = varnex.load(SAMPLES / "figure_bow.amc", skeleton=SAMPLES / "figure.asf", frame_rate=60)
    assert [t.name for t in takes] == ["figure", "figure_bow"]
    np.testing.assert_array_equal(takes[1].world_positions, alone.world_positions)
    assert takes[0].frame_count != takes[1].frame_count
