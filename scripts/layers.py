#!/usr/bin/python3
"""Checks that includes in src/ run one way, down the layers.

Each folder of src/ is a layer. A file may include from its own folder and
from the folders below it; never from one above, and never sideways between
folders of the same layer. Within a folder, no header may include itself
back through others. Prints the folder graph; exits 1 on any offence.
"""
import os
import re
import sys

# Bottom to top; folders on one line form one layer.
LAYERS = [["core"], ["notes", "settings"], ["bar", "dialogs"], ["app"]]
RANK = {folder: i for i, layer in enumerate(LAYERS) for folder in layer}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def main():
    src = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "src")
    src = os.path.normpath(sys.argv[1] if len(sys.argv) > 1 else src)
    faults = []
    edges = {}
    graph = {}
    for folder in sorted(os.listdir(src)):
        path = os.path.join(src, folder)
        if not os.path.isdir(path):
            continue
        if folder not in RANK:
            faults.append(f"src/{folder}: a folder in no layer (add it to LAYERS)")
            continue
        for name in sorted(os.listdir(path)):
            if not name.endswith((".h", ".cpp")):
                continue
            here = f"{folder}/{name}"
            with open(os.path.join(path, name), encoding="utf-8") as f:
                text = f.read()
            for target in INCLUDE.findall(text):
                target = target if "/" in target else f"{folder}/{target}"
                to = target.split("/")[0]
                if not os.path.exists(os.path.join(src, target)):
                    faults.append(f"src/{here}: includes {target}, which is not in src/")
                    continue
                graph.setdefault(here, set()).add(target)
                if to == folder:
                    continue
                edges[(folder, to)] = edges.get((folder, to), 0) + 1
                if to not in RANK or RANK[to] >= RANK[folder]:
                    kind = "sideways" if RANK.get(to) == RANK[folder] else "upward"
                    faults.append(f"src/{here}: {kind} include of {target}")
    faults += cycles(graph)
    for (a, b), n in sorted(edges.items(), key=lambda e: (RANK[e[0][0]], e[0])):
        print(f"{a:>8} -> {b:<8} {n:3} include(s)")
    for fault in faults:
        print("FAULT", fault)
    print("layers:", " < ".join("+".join(layer) for layer in LAYERS),
          "ok" if not faults else f"{len(faults)} fault(s)")
    return 1 if faults else 0


def cycles(graph):
    found = []
    state = {}

    def visit(node, trail):
        state[node] = 1
        for nxt in sorted(graph.get(node, ())):
            if state.get(nxt) == 1:
                loop = trail[trail.index(nxt):] + [nxt] if nxt in trail else [node, nxt]
                found.append("include circle: " + " -> ".join(loop))
            elif nxt not in state:
                visit(nxt, trail + [nxt])
        state[node] = 2

    for node in sorted(graph):
        if node not in state:
            visit(node, [node])
    return found


if __name__ == "__main__":
    sys.exit(main())
