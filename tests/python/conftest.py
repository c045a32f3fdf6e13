"""Under CI=true a skipped test fails the run: CI installs everything the tests need."""

import os

import pytest


@pytest.hookimpl(trylast=True)
def pytest_sessionfinish(session: pytest.Session) -> None:
    reporter = session.config.pluginmanager.get_plugin("terminalreporter")
    if os.environ.get("CI") == "true" and reporter is not None and reporter.stats.get("skipped"):
        reporter.write_line("")
        reporter.write_sep("=", "CI=true: a skipped test fails the run", red=True)
        session.exitstatus = pytest.ExitCode.TESTS_FAILED
