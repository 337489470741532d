#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 SSH Settings contributors
# SPDX-License-Identifier: GPL-2.0-or-later
"""The programs the helper started between two times, from strace -f -ttt of the bus.

    countprograms.py STRACE_LOG FROM_MS TO_MS

Prints one line: each program the helper ran itself ("sshd -t", its first argument)
with its count, then the count of every program started below the helper.
"""
import os
import re
import sys

HELPER = "kcmsshsettings_helper"
LINE = re.compile(r"^(\d+) +(\d+\.\d+) (.*)$")
EXEC = re.compile(r'^execve\("([^"]*)", \[(.*?)\]')
RESULT = re.compile(r"= (-?\d+)(?: \w+)?(?: \(.*\))?$")


def read(log):
    """Each task's parent with the time it was made, and each successful execve: (task, time, program, label)."""
    parents = {}
    execs = []
    pending = {}
    with open(log, encoding="utf-8", errors="replace") as lines:
        for raw in lines:
            match = LINE.match(raw.rstrip("\n"))
            if not match:
                continue
            task, when, call = int(match.group(1)), float(match.group(2)), match.group(3)
            result = RESULT.search(call)
            succeeded = bool(result) and result.group(1) == "0"
            found = EXEC.match(call)
            if found:
                arguments = re.findall(r'"((?:[^"\\]|\\.)*)"', found.group(2))
                entry = (task, when, found.group(1), " ".join([os.path.basename(found.group(1))] + arguments[1:2]))
                if call.endswith("<unfinished ...>"):
                    pending[task] = entry
                elif succeeded:
                    execs.append(entry)
            elif call.startswith("<... execve resumed>"):
                if task in pending and succeeded:
                    execs.append(pending[task])
                pending.pop(task, None)
            elif re.match(r"^(<\.\.\. )?(clone3?|v?fork)\b", call) and result and int(result.group(1)) > 0:
                parents[int(result.group(1))] = (task, when)
    return parents, execs


def main():
    log, start, end = sys.argv[1], int(sys.argv[2]) / 1000.0, int(sys.argv[3]) / 1000.0
    parents, execs = read(log)

    def image(task, when):
        """The program @task ran at @when: its last execve before, else its parent's when it was made."""
        programs = [program for (t, at, program, _) in execs if t == task and at < when]
        if programs:
            return programs[-1]
        return image(*parents[task]) if task in parents else ""

    def below_helper(task):
        while task in parents:
            parent, when = parents[task]
            if os.path.basename(image(parent, when)) == HELPER:
                return True
            task = parent
        return False

    direct = {}
    total = 0
    for task, when, _, label in execs:
        if start <= when <= end and below_helper(task):
            total += 1
            if os.path.basename(image(task, when)) == HELPER:
                direct[label] = direct.get(label, 0) + 1
    runs = ", ".join(f"{label} {count}" for label, count in sorted(direct.items()))
    print(f"run by the helper: {runs or 'none'}; in all, below the helper: {total}")


if __name__ == "__main__":
    main()
