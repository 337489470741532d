#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 SSH Settings contributors
# SPDX-License-Identifier: GPL-2.0-or-later
"""Checks the layout of the product code in src/:

1. no include circle: a header and its source file (foo.h, foo.cpp) form one unit, and
   unit A uses unit B when a file of A includes a file of B with #include "...". Units
   that use each other, directly or through others, are reported with the include
   lines that close the circle. (engine.cpp including configuration.h, which includes
   engine.h, is such a circle although no file includes itself.)
2. no product file (src/**/*.cpp, src/**/*.h) longer than MAX_LINES lines.

Prints the largest files; exits 1 when either check fails.
Usage: scripts/check-includes.py [source folder, default src]
"""

import os
import re
import sys

MAX_LINES = 550  # about 500: a file that grows past it is split by job
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def source_files(root):
    found = []
    for folder, _, names in os.walk(root):
        found += [os.path.join(folder, name) for name in names if name.endswith(('.cpp', '.h'))]
    return sorted(found)


def resolve(name, including, files, by_name):
    """The file of src an include names: next to the including file, else the only one of that name.
    Generated headers (ui_*.h, *_debug.h, configured files) are not in src and give None."""
    beside = os.path.normpath(os.path.join(os.path.dirname(including), name))
    if beside in files:
        return beside
    candidates = [path for path in by_name.get(os.path.basename(name), []) if path.endswith(os.sep + name)]
    if len(candidates) > 1:
        sys.exit(f'{including}: "{name}" may be any of {", ".join(candidates)}')
    return candidates[0] if candidates else None


def unit(path):
    return os.path.splitext(path)[0]


def circles(edges):
    """Strongly connected components of more than one unit (Tarjan, iterative)."""
    index, low, stack, on_stack, found = {}, {}, [], set(), []
    for start in sorted(edges):
        if start in index:
            continue
        work = [(start, iter(sorted(edges[start])))]
        index[start] = low[start] = len(index)
        stack.append(start)
        on_stack.add(start)
        while work:
            node, children = work[-1]
            child = next(children, None)
            if child is not None:
                if child not in index:
                    index[child] = low[child] = len(index)
                    stack.append(child)
                    on_stack.add(child)
                    work.append((child, iter(sorted(edges[child]))))
                elif child in on_stack:
                    low[node] = min(low[node], index[child])
                continue
            work.pop()
            if work:
                low[work[-1][0]] = min(low[work[-1][0]], low[node])
            if low[node] == index[node]:
                component = []
                while True:
                    member = stack.pop()
                    on_stack.discard(member)
                    component.append(member)
                    if member == node:
                        break
                if len(component) > 1:
                    found.append(sorted(component))
    return found


def cycle_path(component, edges):
    """One circle through the first unit of @p component, as a list of units ending where it starts."""
    members = set(component)
    start = component[0]
    previous = {start: None}
    queue = [start]
    while queue:
        node = queue.pop(0)
        for child in sorted(edges[node]):
            if child == start:
                path = [node]
                while previous[path[-1]] is not None:
                    path.append(previous[path[-1]])
                return list(reversed(path)) + [start]
            if child in members and child not in previous:
                previous[child] = node
                queue.append(child)
    return component


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else 'src'
    paths = source_files(root)
    files = set(paths)
    by_name = {}
    for path in paths:
        by_name.setdefault(os.path.basename(path), []).append(path)

    edges = {unit(path): set() for path in paths}
    lines = {}  # (unit, unit) → the include lines behind the edge
    sizes = []
    for path in paths:
        with open(path, encoding='utf-8') as source:
            text = source.read().splitlines()
        sizes.append((len(text), path))
        for number, line in enumerate(text, 1):
            match = INCLUDE.match(line)
            target = match and resolve(match.group(1), path, files, by_name)
            if target and unit(target) != unit(path):
                edges[unit(path)].add(unit(target))
                lines.setdefault((unit(path), unit(target)), []).append(f'{path}:{number} includes {target}')

    status = 0
    found = circles(edges)
    for component in found:
        status = 1
        print(f'include circle among {len(component)} units: {", ".join(component)}')
        path = cycle_path(component, edges)
        for here, there in zip(path, path[1:]):
            print('    ' + lines[(here, there)][0])
    print(f'{len(edges)} units of {len(paths)} files in {root}: {len(found)} include circles')

    sizes.sort(reverse=True)
    for count, path in sizes[:5]:
        print(f'{count:6} {path}')
    for count, path in sizes:
        if count > MAX_LINES:
            status = 1
            print(f'{path} has {count} lines, more than {MAX_LINES}')
    return status


if __name__ == '__main__':
    sys.exit(main())
