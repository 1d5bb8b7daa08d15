"""Every `>>>` example in the stub's docstrings and in the documentation pages runs."""
import ast
import doctest
import pathlib
import re

import numpy as np
import pytest

import quorvane

ROOT = pathlib.Path(__file__).resolve().parent.parent
STUB = ROOT / "src" / "quorvane.pyi"
PAGES = [ROOT / "README.md", *sorted((ROOT / "docs").glob("*.md"))]
FLAGS = doctest.ELLIPSIS | doctest.NORMALIZE_WHITESPACE
PARSER = doctest.DocTestParser()


def stub_tests():
    def walk(node, prefix):
        for child in ast.iter_child_nodes(node):
            if isinstance(child, (ast.FunctionDef, ast.ClassDef)):
                doc = ast.get_docstring(child)
                if doc and ">>>" in doc:
                    # Docstrings may use np and q (or quorvane) without importing them.
                    globs = {"np": np, "q": quorvane, "quorvane": quorvane}
                    yield PARSER.get_doctest(doc, globs, prefix + child.name, str(STUB), child.body[0].lineno - 1)
                if isinstance(child, ast.ClassDef):
                    yield from walk(child, f"{prefix}{child.name}.")

    return list(walk(ast.parse(STUB.read_text()), ""))


def page_test(path):
    """The page's ```pycon blocks as one session, other lines blanked so line numbers match."""
    lines, inside = [], False
    for line in path.read_text().splitlines():
        if line.startswith("```"):
            inside = not inside and line.strip() == "```pycon"
            line = ""
        lines.append(line if inside else "")
    return PARSER.get_doctest("\n".join(lines), {}, path.name, str(path), 0)


TESTS = stub_tests() + [page_test(path) for path in PAGES]


@pytest.mark.parametrize("test", [t for t in TESTS if t.examples], ids=lambda t: t.name)
def test_examples_run(test):
    report = []
    runner = doctest.DocTestRunner(optionflags=FLAGS)
    runner.run(test, out=report.append)
    assert runner.failures == 0, "".join(report)


def test_pages_are_checked():
    # A misspelt fence would silently drop a page's examples.
    fenced = {t.name for t in TESTS if t.examples}
    assert {"README.md", "quickstart.md", "errors.md"} <= fenced
    assert not re.search(r"^```(python|py)\n>>>", "".join(p.read_text() for p in PAGES), re.M)
