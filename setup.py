"""Builds the extension module tarvo with CMake and Ninja, for the interpreter that runs pip."""

import pathlib
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = pathlib.Path(__file__).resolve().parent


class CMakeBuild(build_ext):
    """Configures the project without its tests and benchmarks and builds the module alone."""

    def build_extension(self, ext):
        tree = pathlib.Path(self.build_temp).resolve() / "cmake"
        subprocess.run(
            ["cmake", "-S", str(ROOT), "-B", str(tree), "-G", "Ninja",
             "-DCMAKE_BUILD_TYPE=Release", f"-DPython_EXECUTABLE={sys.executable}",
             "-DTARVO_BUILD_TESTS=OFF", "-DTARVO_BUILD_BENCH=OFF"],
            check=True)
        subprocess.run(["cmake", "--build", str(tree), "--target", "tarvo_python"], check=True)
        target = pathlib.Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(tree / "python" / self.get_ext_filename(ext.name), target)
        # The stubs sit beside the module, where editors and type checkers look for them.
        shutil.copyfile(ROOT / "python" / "tarvo.pyi", target.parent / "tarvo.pyi")


setup(ext_modules=[Extension("tarvo", sources=[])], cmdclass={"build_ext": CMakeBuild})
