# Notes on the real bar: typed text reaches its file however the bar is
# ended, and a note of any size keeps the bar answering.

import os
import signal

import pytest

from harness import CLOSE, MAXMIN, OPEN, wait_for, write_bytes


@pytest.mark.parametrize("end", ["SIGTERM", "the manager's close"])
def test_typed_text_is_saved_at_once_when_the_bar_is_ended(session, bar, end):
    bar.slide(OPEN)
    bar.type_into_pad("quick")
    if end == "SIGTERM":
        bar.proc.send_signal(signal.SIGTERM)
    else:
        session.close_window(bar.wid)
    assert bar.wait_exit() == 0
    assert bar.file("note01.qkn") == b"quick"


def test_a_note_of_one_10_mb_line_opens_takes_a_key_and_is_saved(session, make_bar, folder):
    # Letters and digits only: nowhere for a word wrap to break.
    line = b"0123456789abcdef" * 625_000
    write_bytes(os.path.join(folder, "note01.qkn"), line)
    bar = make_bar(folder=folder)
    bar.click(*MAXMIN)

    def drawn():
        left, top, _, height = bar.geometry()
        rows = session.pixels(left + 8, top + 150, 150, 90) if height == OPEN else []
        return any(sum(pixel) < 250 for row in rows for pixel in row)
    wait_for(drawn, 10, "the long line drawn in the pad")
    bar.type_into_pad("z")
    bar.click(*CLOSE)
    assert bar.wait_exit() == 0
    saved = bar.file("note01.qkn")
    assert (len(saved), saved.replace(b"z", b"")) == (len(line) + 1, line)
