"""Whole Python processes, paired: varnex.load(big.bvh) with its world
positions beside the plain numpy reader of bench/numpy_bvh.py on the same
file. CPU seconds (user + system) and peak resident memory of each run, the
medians of RUNS pairs run A B A B ..., and their ratios.

    python3 bench/python_compare.py          # RUNS=5; BUILD_DIR, WORK, MOCAP as bench/compare.sh

big.bvh is bench/compare.sh's: bvh/cmu_cgspeed_01_03.bvh of the shared mocap
folder with its motion repeated 8 times (27.3 MB). The module is built in
Release into BUILD_DIR (default build-release). numpy runs with
OPENBLAS_CORETYPE and OPENBLAS_L2_SIZE unset, at its own best.
"""

import os
import pathlib
import statistics
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parents[1]
BUILD = ROOT / os.environ.get("BUILD_DIR", "build-release")
WORK = pathlib.Path(os.environ.get("WORK", BUILD / "compare"))
MOCAP = pathlib.Path(os.environ.get("MOCAP", ROOT.parent / "shared" / "mocap"))
RUNS = int(os.environ.get("RUNS", "5"))
PYTHON = "/usr/bin/python3"


def build_module():
    """Configures BUILD in Release the first time; a folder configured already keeps its build type."""
    if not (BUILD / "CMakeCache.txt").exists():
        subprocess.run(["cmake", "-S", ROOT, "-B", BUILD, "-DCMAKE_BUILD_TYPE=Release", "-DVARNEX_BUILD_TESTS=OFF",
                        "-DVARNEX_BUILD_BENCH=OFF"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", BUILD, "--target", "varnex_python", f"-j{os.cpu_count()}"], check=True,
                   stdout=subprocess.DEVNULL)


def make_big_bvh(path):
    """The take's motion repeated 8 times, the frame count made to match."""
    lines = (MOCAP / "bvh" / "cmu_cgspeed_01_03.bvh").read_text().splitlines()
    at = next(i for i, line in enumerate(lines) if line.startswith("Frames:"))
    frames = int(lines[at].split()[1])
    motion = lines[at + 2:]
    path.write_text("\n".join(lines[:at] + [f"Frames: {frames * 8}", lines[at + 1]] + motion * 8) + "\n")


def measure(command, env):
    """CPU seconds and peak resident MiB of one whole process."""
    process = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL)
    _, status, usage = os.wait4(process.pid, 0)
    if status != 0:
        sys.exit(f"python_compare: failed: {' '.join(map(str, command))}")
    return usage.ru_utime + usage.ru_stime, usage.ru_maxrss / 1024


def main():
    if not (MOCAP / "bvh").is_dir():
        sys.exit(f"python_compare: no mocap folder at {MOCAP}")
    build_module()
    WORK.mkdir(parents=True, exist_ok=True)
    big = WORK / "big.bvh"
    if not big.exists():
        make_big_bvh(big)

    module_env = dict(os.environ, PYTHONPATH=str(BUILD / "python"))
    numpy_env = {k: v for k, v in os.environ.items() if k not in ("OPENBLAS_CORETYPE", "OPENBLAS_L2_SIZE")}
    rows = [
        ("python3 -c 'import numpy' (start-up)", [PYTHON, "-c", "import numpy"], numpy_env),
        ("varnex.load(big.bvh).world_positions", [PYTHON, "-c", "import sys, varnex; "
                                                  "varnex.load(sys.argv[1]).world_positions", big], module_env),
        ("numpy_bvh.read_bvh(big.bvh)", [PYTHON, ROOT / "bench" / "numpy_bvh.py", big], numpy_env),
    ]
    results = {name: [] for name, _, _ in rows}
    for _ in range(RUNS):
        for name, command, env in rows:
            results[name].append(measure(command, env))

    medians = {name: (statistics.median(c for c, _ in runs), statistics.median(m for _, m in runs))
               for name, runs in results.items()}
    module, reader = medians[rows[1][0]], medians[rows[2][0]]
    print(f"big.bvh: {big.stat().st_size / 1e6:.1f} MB; medians of {RUNS} runs each, in turn")
    print("| run | CPU s | peak memory |")
    print("|---|---|---|")
    for name, (cpu, memory) in medians.items():
        print(f"| `{name}` | {cpu:.3f} | {memory:.0f} MiB |")
    print(f"numpy reader / module: {reader[0] / module[0]:.2f} times the CPU, "
          f"{reader[1] / module[1]:.2f} times the peak memory")


if __name__ == "__main__":
    main()
