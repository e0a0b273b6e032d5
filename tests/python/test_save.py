"""save() writes what the command line writes, byte for byte, also after
another take has replaced the host's scene."""

import os
import shutil

import pytest

import varnex
from conftest import SAMPLES, run_varnex

FORMATS = ["glb", "gltf", "csv", "json", "svg", "html", "bvh"]
OPTION = {"glb": "-o", "gltf": "-o", "csv": "--positions", "json": "--dump-json", "svg": "--preview",
          "html": "--preview", "bvh": "-o"}


@pytest.fixture(scope="module")
def written(tmp_path_factory):
    """The command line's exports of walk.bvh, scaled, compacted and exact."""
    folder = tmp_path_factory.mktemp("cli")
    for format in FORMATS:
        run_varnex("import", SAMPLES / "walk.bvh", "-q", "--scale", "0.01", OPTION[format], folder / f"walk.{format}")
    run_varnex("import", SAMPLES / "walk.bvh", "-q", "--scale", "0.01", "--exact", "-o", folder / "exact.glb")
    return folder


@pytest.mark.parametrize("format", FORMATS)
def test_save_writes_the_command_lines_bytes(tmp_path, written, format):
    take = varnex.load(SAMPLES / "walk.bvh", scale=0.01)
    take.save(tmp_path / f"first.{format.upper()}")
    varnex.load(SAMPLES / "wave.bvh")
    take.save(str(tmp_path / f"again.{format}"))  # imports walk.bvh again
    take.save("/dev/null", format=format)  # a device takes any format
    expected = (written / f"walk.{format}").read_bytes()
    assert (tmp_path / f"first.{format.upper()}").read_bytes() == expected
    assert (tmp_path / f"again.{format}").read_bytes() == expected


def test_exact_keeps_every_frame(tmp_path, written):
    varnex.load(SAMPLES / "walk.bvh", scale=0.01).save(tmp_path / "walk.glb", exact=True)
    assert (tmp_path / "walk.glb").read_bytes() == (written / "exact.glb").read_bytes()


def test_a_file_changed_since_the_load_is_not_saved(tmp_path):
    shutil.copy(SAMPLES / "walk.bvh", tmp_path / "walk.bvh")
    take = varnex.load(tmp_path / "walk.bvh")
    varnex.load(SAMPLES / "wave.bvh")
    os.utime(tmp_path / "walk.bvh", ns=(0, 0))
    with pytest.raises(varnex.ImportFailed, match="walk.bvh changed since the take was loaded"):
        take.save(tmp_path / "walk.csv")
    assert not (tmp_path / "walk.csv").exists()


def test_an_output_replaces_a_link_target_not_the_link(tmp_path):
    (tmp_path / "target.csv").write_text("old\n")
    (tmp_path / "link.csv").symlink_to("target.csv")
    varnex.load(SAMPLES / "walk.bvh").save(tmp_path / "link.csv")
    assert (tmp_path / "link.csv").is_symlink()
    assert (tmp_path / "target.csv").read_text().startswith("frame,time,path,x,y,z\n")
