#!/usr/bin/env python3
"""The shape of src/ as a newcomer reads it.

  tools/include_graph.py [SRC]          folder -> folder include edges
  tools/include_graph.py --classes [N]  the N largest classes by lines of method bodies

A folder is an area ("messaging") or its GUI ("messaging/widgets"); an edge
counts the include lines from files of one folder to headers of another.
Cycles between folders are listed after the edges.
"""
import os
import re
import sys
from collections import defaultdict

INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')
METHOD = re.compile(r'^(?:[\w:<>,*&\s]+?\s)?[*&]?(T\w+)::~?\w+\s*\([^;]*$')


def folder_of(relative):
    parts = relative.split('/')
    if len(parts) > 2 and parts[1] == 'widgets':
        return parts[0] + '/widgets'
    return parts[0] if len(parts) > 1 else ''


def sources(root):
    for base, _, files in os.walk(root):
        for name in sorted(files):
            if name.endswith(('.h', '.cpp')):
                path = os.path.join(base, name)
                yield path, os.path.relpath(path, root).replace(os.sep, '/')


def edges(root):
    counts = defaultdict(int)
    for path, relative in sources(root):
        source = folder_of(relative)
        with open(path, encoding='utf-8', errors='replace') as f:
            for line in f:
                m = INCLUDE.match(line)
                if not m or '/' not in m.group(1):
                    continue
                target = folder_of(m.group(1))
                if target and target != source:
                    counts[(source, target)] += 1
    return counts


def cycles(counts):
    graph = defaultdict(set)
    for (a, b) in counts:
        graph[a].add(b)
    found = set()
    for a, b in counts:
        # a -> b and a path back from b to a
        stack, seen = [b], set()
        while stack:
            node = stack.pop()
            if node == a:
                found.add(tuple(sorted((a, b))))
                break
            if node in seen:
                continue
            seen.add(node)
            stack.extend(graph[node])
    return sorted(found)


def class_sizes(root):
    sizes = defaultdict(int)
    for path, _ in sources(root):
        if not path.endswith('.cpp'):
            continue
        with open(path, encoding='utf-8', errors='replace') as f:
            lines = f.readlines()
        i = 0
        while i < len(lines):
            m = METHOD.match(lines[i]) if not lines[i].startswith((' ', '\t', '/', '#')) else None
            if not m:
                i += 1
                continue
            depth, start, opened = 0, i, False
            while i < len(lines):
                depth += lines[i].count('{') - lines[i].count('}')
                opened = opened or '{' in lines[i]
                i += 1
                if opened and depth <= 0:
                    break
            if opened:
                sizes[m.group(1)] += i - start
    return sizes


def main(argv):
    root = 'src'
    if '--classes' in argv:
        top = int(argv[argv.index('--classes') + 1]) if len(argv) > argv.index('--classes') + 1 else 10
        sizes = class_sizes(root)
        for name, lines in sorted(sizes.items(), key=lambda kv: -kv[1])[:top]:
            print(f'{lines:6d}  {name}')
        return 0
    if len(argv) > 1:
        root = argv[1]
    counts = edges(root)
    for (a, b), n in sorted(counts.items()):
        print(f'{a} -> {b}  {n}')
    print(f'# {len(counts)} edges between {len({x for e in counts for x in e})} folders')
    for a, b in cycles(counts):
        print(f'# cycle: {a} <-> {b}')
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
