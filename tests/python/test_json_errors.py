"""Malformed JSON arguments raise ValueError "{description} at line L column C", as the reader
reports it.

tests/cpp/json_reader_test.cpp pins every reader message; these check that the messages and
positions reach Python unchanged, from every function and argument.
"""

from collections.abc import Callable

import pytest

from brenvale import _core

# (native function, its arguments, the message of the ValueError it raises)
CASES: list[tuple[Callable[..., str], list[object], str]] = [
    (_core.emit, ["x"], "expected value at line 1 column 1"),
    (_core.emit_plain, ["[\n1,\n]"], "trailing comma at line 3 column 1"),
    # columns count UTF-8 bytes
    (_core.emit_plain, ['"é" x'], "trailing characters at line 1 column 6"),
    # a NUL is data, not the end
    (_core.emit, ["1\x00"], "trailing characters at line 1 column 2"),
    (_core.emit, ["[" * 300], "recursion limit exceeded at line 1 column 128"),
    (_core.emit_shared, ["x", "./shared", ["A"]], "expected value at line 1 column 1"),
    # The old bundle is read first, and no message names the argument.
    (_core.compat, ["{", "["], "EOF while parsing an object at line 1 column 1"),
    (_core.compat, ["{}", "["], "EOF while parsing a list at line 1 column 1"),
]


@pytest.mark.parametrize(("function", "args", "message"), CASES)
def test_reader_message_reaches_python(
    function: Callable[..., str], args: list[object], message: str
) -> None:
    with pytest.raises(ValueError) as caught:
        function(*args)
    assert type(caught.value) is ValueError
    assert str(caught.value) == message
