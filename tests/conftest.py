import os
import pathlib

import quorvane


def pytest_report_header(config):
    return f"quorvane: {quorvane.__file__}"


def pytest_configure(config):
    # A sanitizer run must test its own build, not the installed module.
    expect = os.environ.get("QV_EXPECT_MODULE")
    if expect and pathlib.Path(quorvane.__file__).parent.resolve() != pathlib.Path(expect).resolve():
        raise RuntimeError(f"testing {quorvane.__file__}, expected the build in {expect}")
