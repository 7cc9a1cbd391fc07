"""Builds the zumeld module with the project's CMake build (see pyproject.toml). The
library, its file formats and the module are compiled for the interpreter running pip;
ccache and Ninja are used when installed, and CMAKE_ARGS (space-separated) adds arguments."""
import os
import re
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

HERE = os.path.dirname(os.path.abspath(__file__))


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        out = os.path.dirname(os.path.abspath(self.get_ext_fullpath(ext.name)))
        args = ["-DCMAKE_BUILD_TYPE=Release", "-DZUMELD_PYTHON=ON", "-DZUMELD_BUILD_TESTS=OFF",
                "-DZUMELD_BUILD_BENCH=OFF", "-DZUMELD_INSTALL=OFF",
                f"-DPython_EXECUTABLE={sys.executable}", f"-DCMAKE_LIBRARY_OUTPUT_DIRECTORY={out}"]
        if shutil.which("ninja"):
            args += ["-G", "Ninja"]
        if shutil.which("ccache"):
            args += ["-DCMAKE_CXX_COMPILER_LAUNCHER=ccache", "-DCMAKE_C_COMPILER_LAUNCHER=ccache"]
        args += os.environ.get("CMAKE_ARGS", "").split()
        subprocess.run(["cmake", "-S", HERE, "-B", self.build_temp, *args], check=True)
        subprocess.run(["cmake", "--build", self.build_temp, "--target", "zumeld_python",
                        "-j", str(os.cpu_count() or 2)], check=True)


def version():
    with open(os.path.join(HERE, "CMakeLists.txt")) as f:
        return re.search(r"project\(Zumeld VERSION ([0-9.]+)", f.read()).group(1)


setup(version=version(), packages=[], ext_modules=[Extension("zumeld", sources=[])],
      cmdclass={"build_ext": CMakeBuild})
