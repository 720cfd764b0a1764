"""Builds the wheel as a user without a package index would (python3 -m build --wheel
--no-isolation, on the system's setuptools and pybind11), installs it into a fresh virtual
environment and runs the module's tests there, against the installed package alone.

usage: check_wheel.py SOURCE_DIR WORK_DIR
"""

import os
import shutil
import subprocess
import sys
from pathlib import Path


def run(*command, **options):
    print("+", " ".join(map(str, command)), flush=True)
    subprocess.run(command, check=True, **options)


def main():
    source, work = Path(sys.argv[1]), Path(sys.argv[2])
    shutil.rmtree(work, ignore_errors=True)
    dist, venv = work / "dist", work / "venv"
    env = {k: v for k, v in os.environ.items() if k != "PYTHONPATH"}
    if shutil.which("ccache"):
        env.setdefault("CMAKE_CXX_COMPILER_LAUNCHER", "ccache")
    run(sys.executable, "-m", "build", "--wheel", "--no-isolation", "--outdir", dist, source,
        env=env, stdout=subprocess.DEVNULL)
    wheels = list(dist.glob("quarn-*.whl"))
    if len(wheels) != 1:
        sys.exit(f"expected one wheel in {dist}, found {wheels}")
    # The system's site packages give the tests pytest and dask, never quarn itself.
    run(sys.executable, "-m", "venv", "--system-site-packages", venv)
    python = venv / "bin" / "python"
    run(python, "-m", "pip", "install", "--no-index", "--no-deps", "--quiet", wheels[0], env=env)
    run(python, "-c", f"import quarn, quarn.dask; assert quarn.__file__.startswith({str(venv)!r}), "
        "quarn.__file__; import importlib.metadata as m; "
        "assert m.version('quarn') == quarn.__version__", env=env, cwd=work)
    run(python, "-m", "pytest", "-q", "-p", "no:cacheprovider", source / "bindings/python/tests",
        env=env, cwd=work)


if __name__ == "__main__":
    main()
