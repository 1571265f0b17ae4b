"""Builds the extension module kestrel with the project's own CMake build.

There is no second description of the build here: build_ext configures the
project (one directory up) with -DKESTREL_PYTHON=ON for the Python running
pip, builds the target kestrel_python and copies the module and its type stub
where setuptools packs them. The version is the one CMakeLists.txt sets.
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
        build_dir = Path(self.build_temp).resolve() / "cmake"
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", str(os.cpu_count() or 1))
        subprocess.check_call([
            "cmake", "-S", str(ROOT), "-B", str(build_dir),
            "-DCMAKE_BUILD_TYPE=Release", "-DKESTREL_PYTHON=ON", "-DKESTREL_BUILD_TESTS=OFF",
            "-DPython_EXECUTABLE=" + sys.executable,
        ])
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
