"""What load(), save() and validate() refuse, in the words the command line
uses, and hostile files that must raise rather than crash."""

import shutil
import subprocess
import sys
import warnings

import pytest

import varnex
from conftest import FUZZ, SAMPLES


@pytest.fixture
def files(tmp_path):
    (tmp_path / "words.bvh").write_text("hi\n")
    (tmp_path / "notes.txt").write_text("HIERARCHY\n")
    shutil.copy(SAMPLES / "figure.amc", tmp_path / "lonely.amc")
    return tmp_path


# (call, the error, words of its message)
REFUSALS = [
    (lambda d: varnex.load(d / "words.bvh"), varnex.ImportFailed, "Fatal Error: No joints to import. Aborting."),
    (lambda d: varnex.load(d / "notes.txt"), varnex.ImportFailed, "File must be in BioVision or Acclaim format."),
    (lambda d: varnex.load(d / "absent.bvh"), varnex.ImportFailed, "cannot open the Biovision/Acclaim file"),
    (lambda d: varnex.load(d / "lonely.amc"), varnex.ImportFailed, "lonely.amc: "),
    (lambda d: varnex.load(d / "lonely.amc", skeleton=d / "absent.asf"), varnex.ImportFailed, "is not a file"),
    (lambda d: varnex.load_takes(SAMPLES / "figure.asf", [d / "lonely.amc", d / "words.bvh"]), varnex.ImportFailed,
     "No joints"),
    (lambda d: varnex.load(SAMPLES / "walk.bvh", scale=0), ValueError, "scale: must be a number greater than 0, not 0"),
    (lambda d: varnex.load(SAMPLES / "walk.bvh", scale="inf"), ValueError, "scale: must be a number greater than 0"),
    (lambda d: varnex.load(SAMPLES / "walk.bvh", up="x"), ValueError, "up: x not in {auto,y,z}"),
    (lambda d: varnex.load(SAMPLES / "walk.bvh", joint_positions="keep"), ValueError,
     "joint_positions: keep not in {auto,add,replace}"),
    (lambda d: varnex.load(SAMPLES / "walk.bvh", height=1.75, scale=2), ValueError, "height excludes scale"),
    (lambda d: varnex.load(SAMPLES / "walk.bvh", as_built=True, up="z"), ValueError, "as_built excludes up"),
    (lambda d: varnex.load(SAMPLES / "walk.bvh", reduce_rotation=1), TypeError, "reduce_rotation must be True"),
    (lambda d: varnex.load(SAMPLES / "walk.bvh", frame_rate=0), ValueError, "frame_rate: "),
    (lambda d: varnex.load(SAMPLES / "walk.bvh", frame_rate=4801), ValueError, "frame_rate: "),
    (lambda d: varnex.load(SAMPLES / "walk.bvh", angular_threshold=-1), ValueError,
     "angular_threshold: must be a number greater than 0, not '-1'"),
    (lambda d: varnex.load(SAMPLES / "walk.bvh", distance_threshold="1e-50"), ValueError, "distance_threshold: "),
    (lambda d: varnex.load(SAMPLES / "walk.bvh", bend=1), TypeError, "bend"),
    (lambda d: varnex.load(SAMPLES / "walk.bvh", frames="5:5"), ValueError, "frames: 5:5 keeps no frame"),
    (lambda d: varnex.load(SAMPLES / "walk.bvh", frames="500:"), ValueError, "walk: --frames 500: keeps no frame"),
    (lambda d: varnex.load(SAMPLES / "walk.bvh", fps=0), ValueError, "fps: "),
    (lambda d: varnex.load(SAMPLES / "walk.bvh").save(d / "walk.png"), ValueError,
     "walk.png: varnex writes .glb, .gltf, .csv, .json, .svg, .html or .bvh here"),
    (lambda d: varnex.load(SAMPLES / "walk.bvh").save(d / "walk.csv", format="png"), ValueError, "format: png not in"),
    (lambda d: varnex.load(SAMPLES / "walk.bvh").save(d / "walk.csv", format="glb"), ValueError,
     "walk.csv: varnex writes .glb or .gltf here"),
    (lambda d: varnex.load(SAMPLES / "walk.bvh").save(d / "absent" / "walk.csv"), RuntimeError,
     "cannot write the positions to"),
]


@pytest.mark.parametrize("call,error,words", REFUSALS, ids=[r[2][:40] for r in REFUSALS])
def test_refusals(files, call, error, words):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        with pytest.raises(error, match=None) as raised:
            call(files)
    assert words in str(raised.value)


def test_the_plugins_words_are_warnings_and_its_last_the_failure(files):
    with pytest.warns(varnex.PluginWarning, match="Warning: unknown string encountered: hi.") as said:
        with pytest.raises(varnex.ImportFailed) as raised:
            varnex.load(files / "words.bvh")
    assert str(raised.value) == "Fatal Error: No joints to import. Aborting."
    assert raised.value.path.endswith("words.bvh")
    assert [str(w.message) for w in said] == raised.value.messages == ["Warning: unknown string encountered: hi."]
    assert issubclass(varnex.ImportFailed, Exception) and issubclass(varnex.PluginWarning, UserWarning)


def test_an_acclaim_motion_without_a_rate_says_so():
    with pytest.warns(varnex.VarnexWarning, match=r"figure.amc holds no frame rate; its frames were timed at 30 fps"):
        varnex.load(SAMPLES / "figure.amc")


@pytest.mark.parametrize("path", sorted(p for p in (FUZZ / "regressions").rglob("*") if p.is_file()),
                         ids=lambda p: p.name)
def test_hostile_files_raise_or_load(path):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        try:
            take = varnex.load(path, frame_rate=120)
        except varnex.ImportFailed as failure:
            assert str(failure)
        else:
            assert take.world_positions.shape[1] == len(take.names)


@pytest.mark.parametrize("name,code", [("walk.bvh", 1), ("absent.bvh", -1), ("notes.txt", -2)])
def test_validate_answers_the_header_code(files, name, code):
    assert varnex.validate(SAMPLES / name if name == "walk.bvh" else files / name) == code


def test_the_plugins_words_name_the_users_file(tmp_path):
    shutil.copy(SAMPLES / "figure.asf", tmp_path / "lone.asf")
    with pytest.warns(varnex.PluginWarning) as said:
        varnex.load(tmp_path / "lone.asf")
    assert [str(w.message) for w in said if "AMC" in str(w.message)] == [
        f"Could not find a corresponding AMC file. If animation import is needed, please provide {tmp_path / 'lone.amc'}"]


# A skeleton of 200 000 sibling joints, under an address-space limit that holds
# the plug-in's reading of it but not the host's scene: load() raises
# MemoryError with the command line's words, and the module loads again once
# the limit is lifted.
OUT_OF_MEMORY = """
import resource, sys, varnex
with open("/proc/self/status") as status:
    used = next(int(line.split()[1]) for line in status if line.startswith("VmSize")) * 1024
resource.setrlimit(resource.RLIMIT_AS, (used + int(sys.argv[2]) * 2**20, resource.RLIM_INFINITY))
try:
    varnex.load(sys.argv[1])
except MemoryError as error:
    print("MemoryError:", error)
resource.setrlimit(resource.RLIMIT_AS, (resource.RLIM_INFINITY, resource.RLIM_INFINITY))
print(varnex.load(sys.argv[3]).frame_count)
"""


def test_running_out_of_memory_raises_memory_error(tmp_path):
    joints = "".join(f"JOINT j{i}\n{{\nOFFSET 0 1 0\nCHANNELS 3 Zrotation Xrotation Yrotation\n}}\n" for i in range(200000))
    big = tmp_path / "big.bvh"
    big.write_text("HIERARCHY\nROOT r\n{\nOFFSET 0 0 0\nCHANNELS 3 Zrotation Xrotation Yrotation\n" + joints +
                   "}\nMOTION\nFrames: 1\nFrame Time: 0.04\n")
    ran = subprocess.run([sys.executable, "-c", OUT_OF_MEMORY, str(big), "300", str(SAMPLES / "walk.bvh")],
                         capture_output=True, text=True, timeout=300)
    assert ran.returncode == 0, ran.stderr
    assert ran.stdout.splitlines() == [f"MemoryError: out of memory while importing {big}", "10"]
