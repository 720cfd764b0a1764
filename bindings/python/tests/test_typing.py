"""The package's types: the package and the README's Python examples pass mypy --strict,
the stub agrees with the compiled module (mypy's stubtest), and help() has something to say
about every public name."""

import inspect
import os
import re
import site
import subprocess
import sys
from pathlib import Path

import pytest

import quarn
import quarn.analysis
import quarn.dask

PACKAGE_PARENT = str(Path(quarn.__file__).parent.parent)
# mypy finds an installed package by itself and refuses site directories in MYPYPATH; a
# build tree must be named.
SEARCH_PATH = {} if PACKAGE_PARENT in site.getsitepackages() else {
    "MYPYPATH": PACKAGE_PARENT, "PYTHONPATH": PACKAGE_PARENT}
pytest.importorskip("mypy")


def readme_examples():
    text = Path(os.environ["QUARN_README"]).read_text(encoding="utf-8")
    return re.findall(r"<!-- readme-example: (python[\w-]*) -->\n```python\n(.*?)```", text,
                      re.DOTALL)


def mypy(*arguments, cwd):
    env = dict(os.environ, **SEARCH_PATH)
    return subprocess.run([sys.executable, "-m", "mypy", "--no-incremental",
                           "--cache-dir", os.devnull, *arguments],
                          capture_output=True, text=True, env=env, cwd=cwd)


def test_the_readme_examples_pass_mypy_strict(tmp_path):
    examples = readme_examples()
    assert examples, "README.md has no Python example"
    paths = []
    for name, code in examples:
        path = tmp_path / f"{name.replace('-', '_')}.py"
        path.write_text(code, encoding="utf-8")
        paths.append(str(path))
    checked = mypy("--strict", *paths, cwd=tmp_path)
    assert checked.returncode == 0, checked.stdout + checked.stderr


def test_the_package_passes_mypy_strict(tmp_path):
    # Reading Dask's own sources takes mypy most of a minute; its names count as Any here.
    config = tmp_path / "mypy.ini"
    config.write_text("[mypy]\n[mypy-dask.*]\nfollow_imports = skip\n", encoding="utf-8")
    checked = mypy("--strict", "--config-file", str(config), "-p", "quarn", cwd=tmp_path)
    assert checked.returncode == 0, checked.stdout + checked.stderr


def test_the_stub_agrees_with_the_compiled_module(tmp_path):
    allowlist = Path(__file__).with_name("stubtest_allowlist.txt")
    env = dict(os.environ, **SEARCH_PATH)
    checked = subprocess.run([sys.executable, "-m", "mypy.stubtest", "quarn._quarn",
                              "--allowlist", str(allowlist)],
                             capture_output=True, text=True, env=env, cwd=tmp_path)
    assert checked.returncode == 0, checked.stdout + checked.stderr


def public(namespace):
    for name in getattr(namespace, "__all__", dir(namespace)):
        if not name.startswith("_"):
            yield name, getattr(namespace, name)


def documentable(attribute):
    """A method or property, not a dataclass field's default."""
    return callable(attribute) or isinstance(attribute, property)


def test_every_public_function_class_and_method_has_a_docstring():
    missing = []
    for module in (quarn, quarn.analysis, quarn.dask):
        assert inspect.getdoc(module)
        for name, value in public(module):
            if inspect.ismodule(value) or not callable(value) or value.__module__ not in (
                    "quarn", "quarn.analysis", "quarn.dask", "quarn._quarn"):
                continue
            if not inspect.getdoc(value):
                missing.append(name)
            if inspect.isclass(value) and value is not quarn.Flag:
                missing += [f"{name}.{member}" for member, attribute in vars(value).items()
                                        if not member.startswith("_") and documentable(attribute)
                            and not inspect.getdoc(attribute)]
    assert missing == []
