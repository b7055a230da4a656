"""Builds the native module _quillmere through CMake.

`pip install .` (offline: `pip install --no-build-isolation .`) runs the
build_ext command below, which configures the CMake project for the running
interpreter, builds the `_quillmere` target and places the module and its
type stubs at the top of the installed tree, next to the `quillmere`
package.
"""

import os
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = Path(__file__).resolve().parent


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        build_dir = Path(self.build_temp).resolve() / "cmake"
        build_dir.mkdir(parents=True, exist_ok=True)
        configure = [
            "cmake",
            "-S", str(ROOT),
            "-B", str(build_dir),
            "-DCMAKE_BUILD_TYPE=Release",
            "-DQUILLMERE_TESTS=OFF",
            "-DQUILLMERE_PYTHON=ON",
            f"-DPython3_EXECUTABLE={sys.executable}",
        ]
        if shutil.which("ninja"):
            configure += ["-G", "Ninja"]
        subprocess.check_call(configure)
        subprocess.check_call(
            ["cmake", "--build", str(build_dir), "--target", "_quillmere", "--parallel", str(os.cpu_count() or 1)]
        )
        built = next((build_dir / "python").glob("_quillmere*.so"))
        target = Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built, target)
        shutil.copyfile(ROOT / "python" / "_quillmere.pyi", target.parent / "_quillmere.pyi")


setup(ext_modules=[Extension("_quillmere", sources=[])], cmdclass={"build_ext": CMakeBuild})
