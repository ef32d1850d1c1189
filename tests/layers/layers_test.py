#!/usr/bin/env python3
"""The libraries' layers as docs/development.md draws them, checked against the build.

  layers_test.py includes BUILD SOURCE   each library's compile flags find the headers of the
                                         library itself and of what it needs, and no others: an
                                         upward include does not build
  layers_test.py graph BUILD SOURCE CMAKE `cmake --graphviz` links each library to exactly what
                                         the table says it needs
"""
import json
import re
import shlex
import subprocess
import sys
import tempfile
from pathlib import Path

# A table row: | `noxa_core` | `src/core/` | Qt Core | ... |
ROW = re.compile(r"^\| `(noxa_\w+)` \| `src/([\w/]+)/` \| ([^|]*) \|")


def documented_layers(source):
    """{library: (folder, {libraries it needs})} from the layout section's table."""
    rows = {}
    for line in (source / "docs" / "development.md").read_text().splitlines():
        match = ROW.match(line)
        if match:
            rows[match[1]] = (match[2], [word.strip() for word in match[3].split(",")])
    return {name: (folder, {f"noxa_{word}" for word in needs if f"noxa_{word}" in rows})
            for name, (folder, needs) in rows.items()}


def built_libraries(build):
    """The libraries made by noxa_library: their include folders are in the compile commands."""
    text = (build / "compile_commands.json").read_text()
    return set(re.findall(re.escape(str(build / "include")) + r"/(\w+)", text))


def below(layers, library):
    """Every library that `library` needs, directly or through another."""
    found, todo = set(), [library]
    while todo:
        for need in layers[todo.pop()][1] - found:
            found.add(need)
            todo.append(need)
    return found


def include_flags(command):
    """The compiler and the flags of a compile command that decide what an include finds."""
    words = shlex.split(command)
    while Path(words[0]).name == "ccache":
        words.pop(0)
    kept, i = [words[0]], 1
    while i < len(words):
        word = words[i]
        if word in ("-I", "-isystem", "-iquote"):
            kept += words[i:i + 2]
            i += 1
        elif word.startswith(("-I", "-isystem", "-iquote", "-D", "-std=")):
            kept.append(word)
        i += 1
    return kept


def flags_of(build, source, folder):
    """The include flags of a source file that is directly in src/<folder>."""
    wanted = source / "src" / folder
    for entry in json.loads((build / "compile_commands.json").read_text()):
        if Path(entry["file"]).parent == wanted:
            return include_flags(entry["command"])
    raise SystemExit(f"no compile command for a file of src/{folder}")


def a_header(source, folder):
    return next(iter(sorted((source / "src" / folder).glob("*.h")))).relative_to(source / "src")


def compile_text(flags, text, *mode):
    return subprocess.run(flags + list(mode) + ["-x", "c++", "-"], input=text, text=True,
                          capture_output=True)


def check_includes(build, source, layers):
    faults = []
    probe = "".join(f'#if __has_include("{a_header(source, folder)}")\nfound {name}\n#endif\n'
                    for name, (folder, _) in layers.items())
    for name in sorted(built_libraries(build)):
        flags = flags_of(build, source, layers[name][0])
        result = compile_text(flags, probe, "-E", "-P")
        found = set(re.findall(r"^found (\w+)$", result.stdout, re.M))
        allowed = {name} | below(layers, name)
        if found - allowed:
            faults.append(f"{name} finds the headers of {sorted(found - allowed)}")
        missing = ({name} | layers[name][1]) - found
        if missing:
            faults.append(f"{name} misses the headers of {sorted(missing)}: {result.stderr}")
    # And a file of the lowest layer that includes one of the top does not build.
    header = a_header(source, layers["noxa_app"][0])
    result = compile_text(flags_of(build, source, "core"), f'#include "{header}"\n',
                          "-fsyntax-only")
    if result.returncode == 0 or str(header) not in result.stderr:
        faults.append(f"src/core including {header} builds")
    return faults


def check_graph(build, layers, cmake):
    with tempfile.TemporaryDirectory() as folder:
        dot = Path(folder) / "layers.dot"
        subprocess.run([cmake, f"--graphviz={dot}", str(build)], check=True, capture_output=True)
        text = dot.read_text()
    names = dict(re.findall(r'"(node\d+)" \[ label = "([^"]+)"', text))
    linked = {}
    for start, end in re.findall(r'"(node\d+)" -> "(node\d+)"', text):
        linked.setdefault(names[start], set()).add(names[end])
    faults = []
    for name in sorted(built_libraries(build)):
        needs = {n for n in linked.get(name, set()) if n in layers}
        if needs != layers[name][1]:
            faults.append(f"{name} links {sorted(needs)}, the table says {sorted(layers[name][1])}")
    return faults


def main():
    check, build, source = sys.argv[1], Path(sys.argv[2]), Path(sys.argv[3])
    layers = documented_layers(source)
    missing = built_libraries(build) - set(layers)
    if missing:
        raise SystemExit(f"not in docs/development.md's table: {sorted(missing)}")
    if check == "includes":
        faults = check_includes(build, source, layers)
    else:
        faults = check_graph(build, layers, sys.argv[4])
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
