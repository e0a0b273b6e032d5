"""Plots a foot's height over a take to a PNG.

    PYTHONPATH=build/python python3 examples/foot_height.py samples/walk.bvh walk.png [JOINT]

JOINT defaults to the first node whose name says foot, toe or ankle, else the
lowest moving node at the first frame. Heights are along Y, the up axis of what
varnex gives; an AMC motion is timed at 120 fps, the public libraries' rate.
Needs matplotlib (Debian: python3-matplotlib).
"""

import sys

import matplotlib
import numpy as np

matplotlib.use("Agg")  # a file, no window
import matplotlib.pyplot as plt

import varnex


def foot_of(take):
    for i, name in enumerate(take.names):
        if any(word in name.lower() for word in ("foot", "toe", "ankle")):
            return i
    # The lowest node that moves: the still node named after the file stands
    # at the origin, below the feet.
    positions = take.world_positions
    moving = np.ptp(positions, axis=0).max(axis=1) > 0
    heights = np.where(moving, positions[0, :, 1], np.inf) if moving.any() else positions[0, :, 1]
    return int(heights.argmin())


def main(source, picture, joint=None):
    take = varnex.load(source, frame_rate=120 if source.lower().endswith(".amc") else None)
    j = take.names.index(joint) if joint else foot_of(take)
    height = take.world_positions[:, j, 1]
    figure, axes = plt.subplots(figsize=(8, 3))
    axes.plot(take.times, height)
    axes.set_xlabel("time (s)")
    axes.set_ylabel("height")
    axes.set_title(f"{take.name}: {take.paths[j]}")
    figure.tight_layout()
    figure.savefig(picture, dpi=100)
    print(f"{picture}: {take.paths[j]} from {height.min():.3g} to {height.max():.3g} over {take.frame_count} frames")


if __name__ == "__main__":
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    main(*sys.argv[1:])
