"""Malformed JSON arguments raise ValueError "{description} at line L column C", as the reader reports it.

tests/cpp/json_reader_test.cpp pins every reader message; these check that the messages and positions
reach Python unchanged, from every function and argument.
"""

import pytest

from brenvale import _core


@pytest.mark.parametrize(
    ("call", "message"),
    [
        (lambda: _core.emit("x"), "expected value at line 1 column 1"),
        (lambda: _core.emit_plain("[\n1,\n]"), "trailing comma at line 3 column 1"),
        (
            lambda: _core.emit_plain('"é" x'),
            "trailing characters at line 1 column 6",
        ),  # columns count UTF-8 bytes
        (
            lambda: _core.emit("1\x00"),
            "trailing characters at line 1 column 2",
        ),  # a NUL is data, not the end
        (lambda: _core.emit("[" * 300), "recursion limit exceeded at line 1 column 128"),
        (lambda: _core.emit_shared("x", "./shared", ["A"]), "expected value at line 1 column 1"),
        # The old bundle is read first, and no message names the argument.
        (lambda: _core.compat("{", "["), "EOF while parsing an object at line 1 column 1"),
        (lambda: _core.compat("{}", "["), "EOF while parsing a list at line 1 column 1"),
    ],
)
def test_reader_message_reaches_python(call, message):
    with pytest.raises(ValueError) as caught:
        call()
    assert (type(caught.value), str(caught.value)) == (ValueError, message)
