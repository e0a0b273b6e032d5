"""A straightforward vectorised BVH reader in numpy: the yardstick that
python_compare.py measures varnex.load against.

It does what a careful numpy user would write in an afternoon: split the
hierarchy into tokens, parse the whole motion block into one array, and run
forward kinematics joint by joint, vectorised over the frames. World
positions come out in the same order as the module's joints below the file's
top node (joints and End Sites, depth first).

    python3 bench/numpy_bvh.py FILE.bvh    # prints the frame and joint counts
"""

import sys

import numpy as np


def read_hierarchy(tokens):
    """Names, parents, offsets and channel names of every joint and End Site."""
    names, parents, offsets, channels = [], [], [], []
    stack = []
    i = 0
    while i < len(tokens):
        token = tokens[i]
        if token in ("ROOT", "JOINT"):
            names.append(tokens[i + 1])
            i += 2
        elif token == "End":
            names.append(names[stack[-1]] + "_end")
            i += 2
        elif token == "{":
            parents.append(stack[-1] if stack else -1)
            offsets.append(None)
            channels.append([])
            stack.append(len(names) - 1)
            i += 1
        elif token == "}":
            stack.pop()
            i += 1
        elif token == "OFFSET":
            offsets[stack[-1]] = [float(v) for v in tokens[i + 1:i + 4]]
            i += 4
        elif token == "CHANNELS":
            count = int(tokens[i + 1])
            channels[stack[-1]] = tokens[i + 2:i + 2 + count]
            i += 2 + count
        else:
            i += 1
    return names, np.array(parents), np.array(offsets, dtype=np.float64), channels


def axis_rotations(angles, axis):
    """(F, 3, 3) rotations by angles in radians about one axis (0 x, 1 y, 2 z)."""
    c, s = np.cos(angles), np.sin(angles)
    r = np.zeros((len(angles), 3, 3))
    a, b = [(1, 2), (2, 0), (0, 1)][axis]
    r[:, axis, axis] = 1.0
    r[:, a, a] = c
    r[:, b, b] = c
    r[:, a, b] = -s
    r[:, b, a] = s
    return r


def read_bvh(path):
    """(names, parents, world positions (F, J, 3), frame time)."""
    with open(path) as f:
        text = f.read()
    head, motion = text.split("MOTION", 1)
    names, parents, offsets, channels = read_hierarchy(head.split())
    lines = motion.split("\n", 3)
    frames = int(lines[1].split(":")[1])
    frame_time = float(lines[2].split(":")[1])
    width = sum(len(c) for c in channels)
    values = np.array(lines[3].split(), dtype=np.float64)[:frames * width].reshape(frames, width)

    world_rotations = np.empty((frames, len(names), 3, 3))
    world_positions = np.empty((frames, len(names), 3))
    column = 0
    for j, joint_channels in enumerate(channels):
        translation = np.broadcast_to(offsets[j], (frames, 3)).copy()
        rotation = np.broadcast_to(np.eye(3), (frames, 3, 3))
        for name in joint_channels:
            axis = "XYZ".index(name[0].upper())
            if name[1:].lower() == "position":
                translation[:, axis] += values[:, column]
            else:
                rotation = rotation @ axis_rotations(np.radians(values[:, column]), axis)
            column += 1
        p = parents[j]
        if p < 0:
            world_rotations[:, j] = rotation
            world_positions[:, j] = translation
        else:
            world_rotations[:, j] = world_rotations[:, p] @ rotation
            world_positions[:, j] = world_positions[:, p] + np.einsum("fij,fj->fi", world_rotations[:, p], translation)
    return names, parents, world_positions, frame_time


if __name__ == "__main__":
    names, _, positions, _ = read_bvh(sys.argv[1])
    print(f"{positions.shape[0]} frames, {len(names)} joints")
