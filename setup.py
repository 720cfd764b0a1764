"""Builds the extension quarn._quarn with CMake, for pip and python3 -m build.

The version is the project's one version, read from CMakeLists.txt. CMake configures a
build of the engine and the extension alone (no tests, tools or demo) for the interpreter
that runs this script, and the built extension is copied into the package. Set
CMAKE_BUILD_PARALLEL_LEVEL to build with more jobs.
"""

import os
import re
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = Path(__file__).resolve().parent


def project_version():
    text = (ROOT / "CMakeLists.txt").read_text(encoding="utf-8")
    found = re.search(r"project\(\s*Quarn\s+VERSION\s+([0-9.]+)", text)
    if not found:
        raise RuntimeError("CMakeLists.txt names no project(Quarn VERSION ...)")
    return found.group(1)


class CMakeBuild(build_ext):
    """Builds each extension as the CMake target quarn_python."""

    def build_extension(self, ext):
        build = Path(self.build_temp).resolve() / "cmake"
        output = Path(self.get_ext_fullpath(ext.name)).resolve()
        subprocess.run([
            "cmake", "-S", str(ROOT), "-B", str(build), "-G", "Ninja",
            "-DCMAKE_BUILD_TYPE=Release", f"-DPython_EXECUTABLE={sys.executable}",
            "-DQUARN_BUILD_PYTHON=ON", "-DQUARN_BUILD_TESTS=OFF", "-DQUARN_BUILD_CLI=OFF",
            "-DQUARN_BUILD_DEMO=OFF", "-DQUARN_BUILD_BENCH=OFF",
        ], check=True)
        subprocess.run(["cmake", "--build", str(build), "--target", "quarn_python"], check=True)
        built = next((build / "bindings" / "python" / "quarn").glob("_quarn*" + Path(output).suffix))
        output.parent.mkdir(parents=True, exist_ok=True)
        self.copy_file(str(built), str(output))


setup(
    version=project_version(),
    ext_modules=[Extension("quarn._quarn", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
)
