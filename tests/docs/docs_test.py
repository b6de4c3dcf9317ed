#!/usr/bin/python3
"""The documentation checked as a reader meets it: the Markdown files of the
repository (README.md, CHANGELOG.md, docs/*.md and the others) are read and

  links     every relative link and image resolves to a file of the
            repository, and a #section after a Markdown file to one of its
            headings (as the repository's web view makes their anchors);
            every fenced block names its language;
  snippets  every C and C++ code block compiles and links against an
            installed TilvoGL (headers, library, pkg-config files); with
            --web, the blocks for the browser, with Emscripten against the
            WebAssembly build's library;
  shell     every shell block marked to run runs, in a scratch folder.

How a code block says what it is, in its fence's info string:

  ```c program [MODULE...]     a complete C program (C99), ```cpp program a
                               C++17 one; MODULEs are pkg-config modules it
                               needs beside tilvogl (glfw3, glut, glm, ...),
                               or compiler options (-pthread);
                               the module webgl makes it a program for
                               the browser (WebGL 2), which the
                               WebAssembly build's check compiles with
                               emcc and the static library, its other
                               words being emcc's options
  ```c fragment HARNESS        code that only compiles inside a harness,
  ```cpp fragment HARNESS      one of:
      compat-body  the statements of a function run while a
                   compatibility-profile context is current, in a window of
                   width x height pixels showing the map from pixel
                   (scrollX, scrollY); it may return an int (0 for success).
                   Included: GL/gl.h, stdio.h, tilvogl/tilvogl.h.
      core-body    the same with an OpenGL 3.3 core or ES 3 context current
                   (the shader renderer), a float projection[16] and
                   modelview[16] (column-major, as glm::value_ptr gives them)
                   in scope. Included: stdio.h, string.h, tilvogl/tilvogl.h,
                   tilvogl/tilvogl_gpu.h.
      file         declarations and definitions at file scope, with the
                   includes of compat-body and tilvogl/tilvogl_gpu.h.
  ```sh run                    commands that run as they stand: bash -e in a
                               scratch folder holding build/bin (the
                               programs and the demo maps), with build/bin
                               on the PATH; a non-zero status fails
  ```sh example                commands shown, not run (they install, open
                               windows, or need a machine of their own);
                               bash, console and shell fences the same

A C, C++ or shell block without its kind fails the check, so that every
block is either tested or declared an example. Exits 0 when every check
passed, 1 with one line per fault otherwise.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile

SKIPPED_FOLDERS = {".git", "out", "node_modules"}
FENCE = re.compile(r"^(```+|~~~+)\s*(.*)$")
LINK = re.compile(r"!?\[(?:[^\]\\]|\\.)*\]\(\s*<?([^)\s>]+)>?(?:\s+\"[^\"]*\")?\s*\)")
REFERENCE = re.compile(r"^\s*\[[^\]]+\]:\s*<?(\S+?)>?(?:\s+.*)?$")
HEADING = re.compile(r"^(#{1,6})\s+(.*?)\s*#*\s*$")
CODE_LANGUAGES = {"c": "c", "cpp": "cpp", "c++": "cpp"}
SHELL_LANGUAGES = {"sh", "bash", "shell", "console"}


def markdown_files(root):
    found = []
    for folder, subfolders, files in os.walk(root):
        subfolders[:] = sorted(d for d in subfolders
                               if d not in SKIPPED_FOLDERS and not d.startswith("build"))
        found += [os.path.join(folder, f) for f in sorted(files) if f.endswith(".md")]
    return found


class Block:
    def __init__(self, path, line, info, text):
        self.path, self.line, self.text = path, line, text
        words = info.split()
        self.language = words[0].lower() if words else ""
        self.kind = words[1] if len(words) > 1 else ""
        self.rest = words[2:]

    def where(self, root):
        return "%s:%d" % (os.path.relpath(self.path, root), self.line)


def parse(path):
    """The file's code blocks, and its other lines (numbered) for links."""
    blocks, prose = [], []
    with open(path, encoding="utf-8") as f:
        lines = f.read().split("\n")
    fence = None
    for number, line in enumerate(lines, 1):
        match = FENCE.match(line.strip()) if fence is None else None
        if fence is None and match:
            fence, start, info, body = match.group(1), number, match.group(2), []
        elif fence is not None and line.strip().startswith(fence[0] * len(fence)) and \
                line.strip().strip(fence[0]) == "":
            blocks.append(Block(path, start, info, "\n".join(body) + "\n"))
            fence = None
        elif fence is not None:
            body.append(line)
        else:
            prose.append((number, line))
    return blocks, prose


def slug(heading):
    """The anchor the repository's web view gives a heading."""
    text = re.sub(r"`|\*\*|__|\[([^\]]*)\]\([^)]*\)", lambda m: m.group(1) or "", heading).strip().lower()
    text = re.sub(r"[^\w\- ]", "", text, flags=re.UNICODE)
    return text.replace(" ", "-")


def anchors(path, cache={}):
    if path not in cache:
        names, seen = set(), {}
        for _, line in parse(path)[1]:
            match = HEADING.match(line)
            if match:
                name = slug(match.group(2))
                count = seen.get(name, 0)
                seen[name] = count + 1
                names.add(name if count == 0 else "%s-%d" % (name, count))
        cache[path] = names
    return cache[path]


def check_fences(root, files):
    """Every block says what it holds, so none escapes its check."""
    return ["%s: a block without a language (```text for plain text, ```sh example for commands not run)"
            % block.where(root) for path in files for block in parse(path)[0] if not block.language]


def check_links(root, files):
    faults = []
    for path in files:
        for number, line in parse(path)[1]:
            # Inline code is not a link.
            line = re.sub(r"`[^`]*`", "", line)
            targets = LINK.findall(line) + REFERENCE.findall(line)
            for target in targets:
                if re.match(r"^[a-z][a-z0-9+.-]*:", target, re.I):
                    continue  # a web address or mailto:
                where = "%s:%d" % (os.path.relpath(path, root), number)
                file_part, _, anchor = target.partition("#")
                resolved = os.path.normpath(os.path.join(os.path.dirname(path), file_part)) if file_part else path
                if not (resolved == root or resolved.startswith(root + os.sep)):
                    faults.append("%s: %s leads out of the repository" % (where, target))
                elif not os.path.exists(resolved):
                    faults.append("%s: %s does not exist" % (where, target))
                elif anchor and resolved.endswith(".md") and anchor not in anchors(resolved):
                    faults.append("%s: %s has no section #%s" % (where, os.path.relpath(resolved, root), anchor))
    return faults


HARNESSES = {
    "compat-body": ("#include <GL/gl.h>\n#include <stdio.h>\n#include <tilvogl/tilvogl.h>\n"
                    "int snippet(int width, int height, int scrollX, int scrollY)\n{\n"
                    "    (void)width; (void)height; (void)scrollX; (void)scrollY;\n",
                    "    return 0;\n}\nint main(void) { return snippet(640, 480, 0, 0); }\n"),
    "core-body": ("#include <stdio.h>\n#include <string.h>\n#include <tilvogl/tilvogl.h>\n"
                  "#include <tilvogl/tilvogl_gpu.h>\n"
                  "int snippet(int width, int height, const float projection[16], const float modelview[16])\n{\n"
                  "    (void)width; (void)height; (void)projection; (void)modelview;\n",
                  "    return 0;\n}\nint main(void)\n{\n    float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};\n"
                  "    return snippet(640, 480, identity, identity);\n}\n"),
    "file": ("#include <GL/gl.h>\n#include <stdio.h>\n#include <tilvogl/tilvogl.h>\n#include <tilvogl/tilvogl_gpu.h>\n",
             "int main(void) { return 0; }\n"),
}


def install_prefix(build, prefix, components):
    """The library as users install it: its runtime and development files."""
    for component in components:
        subprocess.run(["cmake", "--install", build, "--prefix", prefix, "--component", component],
                       check=True, stdout=subprocess.DEVNULL)
    for folder, _, files in os.walk(prefix):
        if "tilvogl.pc" in files:
            return folder
    raise SystemExit("docs_test: the install to %s holds no tilvogl.pc" % prefix)


def for_the_browser(block):
    return block.kind == "program" and "webgl" in block.rest


def check_snippets(root, files, build, web_compiler=None):
    """The blocks for the desktop with cc and c++, or with web_compiler
    (emcc) the blocks for the browser, each check the other's blocks left
    to it (scripts/test runs both)."""
    faults, compiled, left = [], 0, 0
    scratch = tempfile.mkdtemp(prefix="tilvogl-snippets.")
    try:
        # The browser's build has the static library alone.
        pkgconfig = install_prefix(build, os.path.join(scratch, "prefix"),
                                   ("development",) if web_compiler else ("runtime", "development"))
        environment = dict(os.environ, PKG_CONFIG_PATH=pkgconfig)
        for path in files:
            for block in parse(path)[0]:
                if block.language not in CODE_LANGUAGES:
                    continue
                language = CODE_LANGUAGES[block.language]
                where = block.where(root)
                options = []
                if for_the_browser(block) != bool(web_compiler):
                    left += 1
                    continue
                if web_compiler:
                    source, modules = block.text, ["tilvogl-static"]
                    options = [word for word in block.rest if word != "webgl"]
                elif block.kind == "program":
                    source = block.text
                    modules = [word for word in block.rest if not word.startswith("-")]
                    options = [word for word in block.rest if word.startswith("-")]
                elif block.kind == "fragment" and len(block.rest) == 1 and block.rest[0] in HARNESSES:
                    head, tail = HARNESSES[block.rest[0]]
                    source, modules = head + block.text + tail, []
                else:
                    faults.append("%s: a %s block is marked neither 'program' nor 'fragment %s'"
                                  % (where, block.language, "|".join(sorted(HARNESSES))))
                    continue
                flags = subprocess.run(["pkg-config", "--cflags", "--libs"] + (modules if web_compiler else
                                                                              ["tilvogl"] + modules),
                                       env=environment, capture_output=True, text=True)
                if flags.returncode != 0:
                    faults.append("%s: pkg-config: %s" % (where, flags.stderr.strip()))
                    continue
                name = os.path.join(scratch, "snippet%d.%s" % (compiled, "c" if language == "c" else "cpp"))
                with open(name, "w") as f:
                    f.write(source)
                compiler = ["cc", "-std=c99"] if language == "c" else ["c++", "-std=c++17"]
                if web_compiler:
                    compiler = [web_compiler, "-std=c99" if language == "c" else "-std=c++17"]
                command = (compiler + ["-Wall", "-Wextra", "-Werror", "-o", name + ".out", name] + options
                           + flags.stdout.split())
                result = subprocess.run(command, capture_output=True, text=True)
                compiled += 1
                if result.returncode != 0:
                    faults.append("%s: does not compile:\n%s" % (where, result.stderr.strip()))
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    return faults, compiled, left


def check_shell(root, files, bin_folder):
    faults, ran = [], 0
    for path in files:
        for block in parse(path)[0]:
            if block.language not in SHELL_LANGUAGES:
                continue
            where = block.where(root)
            if block.kind == "example":
                continue
            if block.kind != "run":
                faults.append("%s: a %s block is marked neither 'run' nor 'example'" % (where, block.language))
                continue
            scratch = tempfile.mkdtemp(prefix="tilvogl-shell.")
            try:
                programs = os.path.join(scratch, "build", "bin")
                os.makedirs(programs)
                for name in os.listdir(bin_folder):
                    source = os.path.join(bin_folder, name)
                    if name.endswith(".FMP"):
                        shutil.copy(source, programs)
                    elif os.access(source, os.X_OK) and os.path.isfile(source):
                        os.symlink(source, os.path.join(programs, name))
                environment = dict(os.environ, PATH=programs + os.pathsep + os.environ.get("PATH", ""))
                result = subprocess.run(["bash", "-e", "-o", "pipefail", "-c", block.text], cwd=scratch,
                                        env=environment, capture_output=True, text=True, timeout=120)
                ran += 1
                if result.returncode != 0:
                    faults.append("%s: exit status %d:\n%s" % (where, result.returncode,
                                                                (result.stdout + result.stderr).strip()))
            finally:
                shutil.rmtree(scratch, ignore_errors=True)
    return faults, ran


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("check", choices=["links", "snippets", "shell"])
    parser.add_argument("--root", required=True, help="the repository")
    parser.add_argument("--build", help="the build folder (snippets: installed from it; shell: its bin folder)")
    parser.add_argument("--web", metavar="EMCC", help="snippets: the blocks for the browser, compiled with EMCC")
    args = parser.parse_args()
    root = os.path.realpath(args.root)
    files = markdown_files(root)
    if args.check == "links":
        faults = check_fences(root, files) + check_links(root, files)
        summary = "links and fences of %d Markdown files" % len(files)
    elif args.check == "snippets":
        faults, count, left = check_snippets(root, files, os.path.realpath(args.build), args.web)
        summary = "%d C and C++ blocks%s compiled against the installed library (%d left to the %s build)" % (
            count, " for the browser" if args.web else "", left, "desktop" if args.web else "WebAssembly")
    else:
        faults, count = check_shell(root, files, os.path.join(os.path.realpath(args.build), "bin"))
        summary = "%d shell blocks run" % count
    for fault in faults:
        print("FAIL: " + fault)
    print("%s: %s" % (summary, "all good" if not faults else "%d faults" % len(faults)))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
