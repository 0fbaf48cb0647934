#!/usr/bin/env python3
"""Checks the manual page man/orvex.1 against groff and against the program.

1. groff renders it with every warning switched on (-ww) and prints nothing;
   so does man(1) with its own warnings, where it is installed.
2. Every option of the program (the long_opts table and the short option
   string in cli/) is described in it.
3. Every message text that the program prints (the string literals of its
   puts/printf/fwrite calls and of its failure reports) appears in it, so a
   message added to the code without a word in DIAGNOSTICS fails here.

Usage: man_page_test.py SOURCE_DIR
"""
import os
import re
import shutil
import subprocess
import sys

failures = []


def fail(message):
    failures.append(message)
    print("FAIL: " + message)


def run(command, env=None):
    result = subprocess.run(command, capture_output=True, env=env)
    return result.returncode, result.stdout.decode("utf-8", "replace"), result.stderr.decode("utf-8", "replace")


def check_warnings(page):
    code, _, err = run(["groff", "-man", "-Tutf8", "-ww", "-z", page])
    if code != 0 or err:
        fail("groff -man -Tutf8 -ww -z reports (exit %d):\n%s" % (code, err))
    if shutil.which("man"):
        env = dict(os.environ, LC_ALL="C.UTF-8", MANROFFSEQ="", MANWIDTH="80")
        code, _, err = run(["man", "--warnings", "-E", "UTF-8", "-l", "-Tutf8", "-Z", page], env)
        if code != 0 or err:
            fail("man --warnings -l reports (exit %d):\n%s" % (code, err))


def rendered_text(page):
    """The page as plain ASCII, every paragraph on one line, blanks collapsed."""
    code, out, err = run(["groff", "-man", "-Tascii", "-P-c", "-rLL=20000n", page])
    if code != 0:
        fail("groff could not render the page: " + err)
    out = re.sub(r".\x08", "", out)  # overstrike bold and underline
    return re.sub(r"\s+", " ", out)


def read(path):
    with open(path, encoding="utf-8") as f:
        return f.read()


def program_options(src):
    text = read(os.path.join(src, "cli", "options.cpp"))
    table = re.search(r"const option long_opts\[\] = \{(.*?)\n\};", text, re.S)
    long_names = re.findall(r'\{"([a-z-]+)",', table.group(1)) if table else []
    short = ""
    for name in ("options.h", "options.cpp"):
        m = re.search(r'short_opts\[\] = "([^"]*)"', read(os.path.join(src, "cli", name)))
        if m:
            short = m.group(1).replace(":", "")
    return long_names, short


def check_options(src, text):
    long_names, short = program_options(src)
    if len(long_names) < 10 or not short:
        fail("could not read the option table from cli/options.cpp (%d long options, short '%s')"
             % (len(long_names), short))
    for name in long_names:
        if not re.search(r"(?<![\w-])--%s(?![\w-])" % re.escape(name), text):
            fail("option --%s is not in the manual page" % name)
    for letter in short:
        if not re.search(r"(?<![\w-])-%s(?![\w-])" % re.escape(letter), text):
            fail("option -%s is not in the manual page" % letter)
    return len(long_names), len(short)


CALL = re.compile(r"(?<![A-Za-z0-9_])(puts|fputs|printf|fprintf|fwrite|report|report_in_part|report_cut_in_part)\s*\(")
LITERAL = re.compile(r'"((?:[^"\\\n]|\\.)*)"')
CONVERSION = re.compile(r"%[-+ #0-9.*]*(?:hh|h|ll|l|z|j|t|L)?[diouxXfFeEgGaAcspn]")
NAMED_TEXT = re.compile(r'char\s+(\w+)\[\]\s*=\s*"((?:[^"\\\n]|\\.)*)"')


def call_arguments(code, start):
    """The text between the parenthesis at `start` and its partner."""
    depth, i, in_string = 0, start, False
    while i < len(code):
        c = code[i]
        if in_string:
            if c == "\\":
                i += 1
            elif c == '"':
                in_string = False
        elif c == '"':
            in_string = True
        elif c == "(":
            depth += 1
        elif c == ")":
            depth -= 1
            if depth == 0:
                return code[start + 1:i]
        i += 1
    return code[start + 1:]


def unescape(literal):
    return (literal.replace("\\n", "\n").replace("\\r", "\r").replace('\\"', '"')
            .replace("\\'", "'").replace("\\\\", "\\"))


def message_fragments(src):
    """(file, fragment) for each piece of fixed text the program prints."""
    found = []
    for folder in ("cli", "fits", "decoder", "image", "select", "util"):
        directory = os.path.join(src, folder)
        for name in sorted(os.listdir(directory)):
            if not name.endswith(".cpp") or name.endswith("_test.cpp"):
                continue
            code = read(os.path.join(directory, name))
            code = re.sub(r"//[^\n]*", "", code)
            named = dict(NAMED_TEXT.findall(code))
            for call in CALL.finditer(code):
                args = call_arguments(code, call.end() - 1)
                literals = LITERAL.findall(args)
                literals += [named[w] for w in re.findall(r"\w+", args) if w in named]
                for literal in literals:
                    text = unescape(literal)
                    for piece in CONVERSION.split(text.replace("%%", "%")):
                        piece = " ".join(piece.split()).rstrip(":").strip()
                        if sum(ch.isalpha() for ch in piece) >= 3:
                            found.append(("%s/%s" % (folder, name), piece))
    return found


def check_messages(src, text):
    fragments = message_fragments(src)
    if len(fragments) < 15:
        fail("found only %d message texts in the sources; the scan is broken" % len(fragments))
    for where, piece in fragments:
        if piece not in text:
            fail("message text %r (%s) is not in the manual page" % (piece, where))
    return len(fragments)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: man_page_test.py SOURCE_DIR")
    src = sys.argv[1]
    page = os.path.join(src, "man", "orvex.1")
    check_warnings(page)
    text = rendered_text(page)
    long_count, short_count = check_options(src, text)
    message_count = check_messages(src, text)
    if failures:
        print("%d manual page check(s) failed" % len(failures))
        sys.exit(1)
    print("manual page renders cleanly and covers %d long options, %d short ones and %d message texts"
          % (long_count, short_count, message_count))


if __name__ == "__main__":
    main()
