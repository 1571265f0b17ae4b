"""Builds the extension module kestrel with the project's own CMake build.

There is no second description of the build here: build_ext configures the
project (one directory up) with -DKESTREL_PYTHON=ON for the Python running
pip, builds the target kestrel_python and copies the module and its type stub
where setuptools packs them. The version is the one CMakeLists.txt sets.

KESTREL_BUILD_DIR (an absolute path) names a build tree of the project to build
the module in instead of a fresh one: the tree keeps its own settings (build
type, tests, kestrel-mpi), the module is added to them, and only what is out of
date is compiled. Configured with -DKESTREL_PYTHON=ON beforehand, the library in
it is already built for the module (position-independent), and nothing but the
module's own file is left to compile.
"""
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent


def project_version():
    text = (ROOT / "CMakeLists.txt").read_text()
    found = re.search(r"project\(kestrel VERSION ([0-9.]+)", text)
    if found is None:
        raise RuntimeError("CMakeLists.txt sets no version in project(kestrel VERSION ...)")
    return found.group(1)


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        given = os.environ.get("KESTREL_BUILD_DIR", "")
        if given:
            build_dir = Path(given).resolve()
            # The tree outlives the venv pip may run in: it keeps the interpreter
            # the venv links to (the same headers and ABI), not the venv's link.
            settings = ["-DPython_EXECUTABLE=" + os.path.realpath(sys.executable)]
        else:
            build_dir = Path(self.build_temp).resolve() / "cmake"
            settings = ["-DCMAKE_BUILD_TYPE=Release", "-DKESTREL_BUILD_TESTS=OFF",
                        "-DPython_EXECUTABLE=" + sys.executable]
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", str(os.cpu_count() or 1))
        subprocess.check_call(
            ["cmake", "-S", str(ROOT), "-B", str(build_dir), *settings, "-DKESTREL_PYTHON=ON"])
        subprocess.check_call(
            ["cmake", "--build", str(build_dir), "--target", "kestrel_python", "-j", jobs])
        built = sorted((build_dir / "python").glob("kestrel*.so"))
        if not built:
            raise RuntimeError("the CMake build made no module in " + str(build_dir / "python"))
        target = Path(self.get_ext_fullpath(ext.name)).resolve()
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built[0], target)
        shutil.copyfile(HERE / "kestrel.pyi", target.parent / "kestrel.pyi")


setup(
    version=project_version(),
    ext_modules=[Extension("kestrel", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    zip_safe=False,
)
