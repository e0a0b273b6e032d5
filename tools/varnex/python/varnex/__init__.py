"""Motion capture takes as numpy arrays, read by the varnex import plug-in.

The plug-in reads Biovision BVH files and Acclaim ASF skeletons with their AMC
motions exactly as the varnex command line runs it; a Take holds what it
imported. See docs/python.md.

    import varnex
    take = varnex.load("walk.bvh")
    print(take.paths[3], take.world_positions[:, 3])
"""

from ._varnex import (
    ImportFailed,
    PluginWarning,
    Take,
    VarnexWarning,
    __version__,
    load,
    load_takes,
    validate,
)

__all__ = [
    "ImportFailed",
    "PluginWarning",
    "Take",
    "VarnexWarning",
    "load",
    "load_takes",
    "validate",
]
