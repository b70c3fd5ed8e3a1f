#!/usr/bin/env python3
"""The sysop's reports from the player files: zenbo players and zenbo
bulletin in its three formats, the HTML one read back by a parser.

    sysop_reports_test.py ZENBO
"""
import os
import re
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                "..", "support"))

from board import Page  # noqa: E402

ZENBO = sys.argv[1]


def player_file(name, level, weapon="Rolled-Up Newspaper",
                armor="T-Shirt and Jeans", gold=100, hp=10, max_hp=10):
    lines = [name, weapon, armor, "2", "2", str(gold), str(max_hp), str(hp),
             str(level), "0", "7", "7", "15", "20261208"]
    return ("\n".join(lines) + "\n").encode("latin-1")


def run(*arguments, expect=0):
    result = subprocess.run([ZENBO, *arguments], capture_output=True)
    assert result.returncode == expect, (arguments, result.returncode,
                                         result.stderr)
    return result


def main():
    with tempfile.TemporaryDirectory() as scratch:
        volume = os.path.join(scratch, "volume")
        run("--make-volume", "--volume", volume)
        users = os.path.join(volume, "home/Zenbo/doors/vrask/users")
        files = {
            "Ash": player_file("Ash", 3, gold=250),
            "Wren": player_file("Wren", 12, weapon="Sock Full of Pennies"),
            "Kit": player_file("Kit <b>&amp;</b>", 7),
            # A name stored before names were judged: the controls must
            # never reach a report raw.
            "Evil": player_file("\x1b[2J\x1b]0;pwn\x07Evil", 5),
        }
        for user, content in files.items():
            with open(os.path.join(users, user), "wb") as file:
                file.write(content)
        with open(os.path.join(users, "half"), "wb") as file:
            file.write(b"Half\nwritten\n")
        os.mkdir(os.path.join(users, "folder"))

        table = run("players", "--volume", volume).stdout.decode()
        rows = table.splitlines()[1:]
        assert rows[0].startswith("Wren "), table
        assert len(rows) == 4, table
        assert "250" in next(row for row in rows if row.startswith("Ash"))
        assert "\x1b" not in table and "\x07" not in table, repr(table)

        text = run("bulletin", "--volume", volume).stdout.decode()
        levels = [int(match) for match in
                  re.findall(r"^  .{30}\s+(\d+)  ", text, re.M)]
        assert levels == [12, 7, 5, 3], (levels, text)
        assert "\x1b" not in text, repr(text)
        assert "Sock Full of Pennies" in text

        ansi = run("bulletin", "--format", "ansi", "--volume",
                   volume).stdout.decode()
        # Colours only: every escape starts a colour sequence.
        for match in re.finditer("\x1b", ansi):
            assert re.match(r"\x1b\[[0-9;]*m", ansi[match.start():]), \
                repr(ansi[match.start():match.start() + 10])
        assert "?[2J?]0;pwn?Evil" in ansi, repr(ansi)

        out = os.path.join(scratch, "wall.html")
        run("bulletin", "--format", "html", "--out", out, "--volume", volume)
        page = Page()
        with open(out, encoding="utf-8") as file:
            page.feed(file.read())
        page.close()
        assert not page.open, page.open
        header, *cells = page.rows
        assert header == ["Name", "Level", "Weapon", "Armor"], header
        assert [row[1] for row in cells] == ["12", "7", "5", "3"], cells
        assert cells[1][0] == "Kit <b>&amp;</b>", cells[1]
        assert not os.path.exists(out + ".partial")

        run("bulletin", "--format", "pdf", "--volume", volume, expect=2)
        run("players", "--volume", os.path.join(scratch, "none"), expect=1)
        assert run("bulletin", "--help").stdout.startswith(b"Usage:")
    print("the sysop's reports passed")


main()
