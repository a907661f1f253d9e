#!/usr/bin/env python3
"""Makes mutants of C++ sources and tries each against a test command (scripts/mutation-run.sh).

A mutant is one small edit of one file: a comparison's boundary moved or its sense flipped, an
integer constant one up or down, && and || swapped, an if or while condition negated, a
statement dropped (a call, an assignment, a return, break or continue), a string literal emptied.
The scan works on tokens, so comments, preprocessor lines, static_assert and the angle brackets
of templates are never touched. Each mutant is named by its file, the edit as printed (the line
before and after) and, where the same edit occurs more than once in the file, its number: the
name stays when other lines move.
"""
import argparse
import datetime
import fnmatch
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import time
from collections import Counter, defaultdict
from pathlib import Path

TOKEN = re.compile(
    r"""(?P<space>\s+)|(?P<comment>//[^\n]*|/\*.*?\*/)
  | (?P<string>(?:u8|[uUL])?R"(?P<delim>[^(\s"]*)\(.*?\)(?P=delim)"
               |(?:u8|[uUL])?"(?:\\.|[^"\\\n])*")
  | (?P<char>(?:u8|[uUL])?'(?:\\.|[^'\\\n])*')
  | (?P<number>\.?\d(?:[eEpP][+-]|[\w.]|'(?=\w))*)
  | (?P<ident>[A-Za-z_]\w*)
  | (?P<punct><=>|<<=|>>=|->\*|\.\.\.|::|->|\+\+|--|<<|>>|&&|\|\||[-+*/%&|^!=<>]=|.)""",
    re.X | re.S)
DIRECTIVE = re.compile(r"(?:[^\n\\]|\\.)*", re.S)  # to the end of a line, with continuations
SWAPS = {"<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "==", "&&": "||", "||": "&&"}
ASSIGNMENTS = {"=", "+=", "-=", "*=", "/=", "%=", "&=", "|=", "^=", "<<=", ">>="}
OPENERS = {"(": ")", "[": "]", "{": "}"}


class Token:
    def __init__(self, kind, text, start, end, spaced):
        self.kind, self.text, self.start, self.end, self.spaced = kind, text, start, end, spaced


def tokenize(text):
    """The tokens of `text` without comments and preprocessor lines; `spaced` tells whether
    white space precedes the token."""
    tokens, pos, spaced = [], 0, True
    while pos < len(text):
        m = TOKEN.match(text, pos)
        kind = m.lastgroup
        line_start = text.rfind("\n", 0, pos) + 1
        if kind == "punct" and m.group() == "#" and not text[line_start:pos].strip():
            m = DIRECTIVE.match(text, pos)
            kind = "space"
        if kind in ("space", "comment"):
            spaced = True
        else:
            tokens.append(Token(kind, m.group(), m.start(), m.end(), spaced))
            spaced = False
        pos = m.end()
    return tokens


def bracket_pairs(words):
    """For each (, [ and { the index of its closing bracket; an unclosed one closes at the end."""
    pairs, stack = {}, []
    for i, word in enumerate(words):
        if word in OPENERS:
            stack.append(i)
        elif word in (")", "]", "}") and stack:
            pairs[stack.pop()] = i
    for i in stack:
        pairs[i] = len(words)
    return pairs


def template_angles(tokens):
    """The < that open template arguments, each with the index of the > (or >>) that closes
    it, and the set of every angle bracket of them: a < after a name whose > comes before
    anything that ends an expression, or a bracket that was not opened after it."""
    closes, angles = {}, set()
    for i, token in enumerate(tokens):
        if token.text != "<" or i in angles or i == 0 or tokens[i - 1].kind != "ident":
            continue
        depth, nested, seen = 1, 0, [i]
        for j in range(i + 1, len(tokens)):
            word = tokens[j].text
            if word in ("(", "["):
                nested += 1
            elif word in (")", "]"):
                nested -= 1
                if nested < 0:
                    break
            elif nested:
                continue
            elif word in (";", "{", "}", "&&", "||", "?", "=", "return"):
                break
            elif word == "<" and tokens[j - 1].kind == "ident":
                depth += 1
                seen.append(j)
            elif word in (">", ">>"):
                depth -= len(word)
                seen.append(j)
            if depth <= 0:
                closes[i] = j
                angles.update(seen)
                break
    return closes, angles


class Statements:
    """Walks namespaces, classes and function bodies (lambdas' too) and collects the statement
    mutants: drops of calls, assignments, returns, breaks and continues, and negated conditions
    (replacement None: the condition wrapped in !( ))."""

    def __init__(self, tokens, pairs, angle_closes):
        self.tokens, self.pairs, self.angle_closes = tokens, pairs, angle_closes
        self.words = [t.text for t in tokens]
        self.openers = {close: opening for opening, close in pairs.items()}
        self.found = []
        self.declarations(0, len(tokens))

    def word(self, i):
        return self.words[i] if 0 <= i < len(self.words) else ""

    def declarations(self, i, end):
        start = i
        while i < end:
            word = self.words[i]
            if word in (";", "}"):
                start = i + 1
            elif word in ("(", "["):
                i = self.pairs[i]
            elif word == "{":
                head, close = self.words[start:i], self.pairs[i]
                if head[:1] in (["namespace"], ["extern"]) or (
                        {"class", "struct", "union"} & set(head) and "(" not in head):
                    self.declarations(i + 1, close)
                    start = close + 1
                elif self.function_body(head, i) or self.lambda_body(i):
                    self.block(i, body=True)
                    start = close + 1
                else:  # an initialiser: only lambdas inside
                    self.inside(i + 1, close)
                i = close
            i += 1

    def function_body(self, head, i):
        """Whether the { at i opens a function's body; `head` is its declaration so far."""
        if "(" not in head:
            return False
        before = head[:head.index("(")]
        if any(w == "=" and before[k - 1] != "operator" for k, w in enumerate(before)):
            return False  # a variable's initialiser
        return self.word(i - 1) in (")", "}", "const", "noexcept", "override", "final") or \
            self.trailing_return(i)

    def trailing_return(self, i):
        """Whether the { at i follows a `-> Type`."""
        i -= 1
        while i > 0 and (self.tokens[i].kind == "ident" or self.words[i] in ("::", "<", ">", ">>",
                                                                              "*", "&")):
            i -= 1
        return self.words[i] == "->"

    def lambda_body(self, i):
        return self.word(i - 1) in ("]", ")", "mutable", "noexcept") or self.trailing_return(i)

    def block(self, i, body=False):
        """Walks the block at i; `body`: a function's or lambda's, whose closing `return value;`
        is kept, since without it the function would run off its end (undefined)."""
        j, close = i + 1, self.pairs[i]
        while j < close:
            last, j = j, self.statement(j, close)
        if body and j > i + 1 and self.words[last] == "return" and self.words[last + 1] != ";":
            drop = (self.tokens[last].start, self.tokens[j - 1].end, ";")
            if self.found and self.found[-1] == drop:
                self.found.pop()

    def inside(self, j, end):
        while j < end:
            j = self.expression(j, end) + 1

    def expression(self, j, end):
        """The index of the ; that ends the expression at j (or of the block's }); lambda bodies
        on the way are walked as blocks."""
        while j < end and self.words[j] != ";":
            word = self.words[j]
            if word == "}":
                return j
            if word in OPENERS:
                if word == "{" and self.lambda_body(j):
                    self.block(j, body=True)
                else:
                    self.inside(j + 1, self.pairs[j])
                j = self.pairs[j]
            j += 1
        return j

    def statement(self, j, end):
        """Walks the statement at j; the index after it."""
        word = self.words[j]
        if word == "{":
            self.block(j)
            return self.pairs[j] + 1
        if word in ("if", "while", "for", "switch"):
            opening = j + 1 + (self.word(j + 1) == "constexpr")
            close = self.pairs.get(opening, end)
            if word in ("if", "while") and opening == j + 1:
                self.negate(opening, close)
            self.inside(opening + 1, close)
            j = self.statement(close + 1, end)
            if word == "if" and self.word(j) == "else":
                j = self.statement(j + 1, end)
            return j
        if word == "do":  # do statement while ( condition ) ;
            j = self.statement(j + 1, end)
            self.negate(j + 1, self.pairs[j + 1])
            return self.pairs[j + 1] + 2
        if word == "try":
            j = self.statement(j + 1, end)
            while self.word(j) == "catch":
                j = self.statement(self.pairs[j + 1] + 1, end)
            return j
        if word in ("case", "default"):
            return self.words.index(":", j) + 1
        last = self.expression(j, end)
        if self.word(last) != ";":
            return last
        if self.droppable(j, last):
            self.found.append((self.tokens[j].start, self.tokens[last].end, ";"))
        return last + 1

    def declares(self, j, end):
        """Whether the tokens from j start a declaration: a type, then a name."""
        while self.word(j) in ("const", "constexpr", "static", "volatile", "typename", "unsigned"):
            j += 1
        if self.word(j) in ("auto", "struct", "class", "enum", "union"):
            return True
        if j >= end or self.tokens[j].kind != "ident":
            return False
        j += 1
        while j < end:
            if self.word(j) == "::" and self.tokens[j + 1].kind == "ident":
                j += 2
            elif j in self.angle_closes:
                j = self.angle_closes[j] + 1
            elif self.word(j) in ("*", "&", "&&", "const"):
                j += 1
            else:
                break
        return j < end and self.tokens[j].kind == "ident"

    def droppable(self, j, last):
        """Whether the statement from j to its ; at `last` is one that a mutant drops."""
        words = self.words[j:last]
        if not words or words[0] in ("throw", "using", "typedef", "goto", "static_assert"):
            return False
        if words[0] in ("return", "break", "continue"):
            return True
        if self.declares(j, last):
            return False
        top, k = set(), j
        while k < last:
            top.add(self.words[k])
            k = self.pairs[k] + 1 if self.words[k] in OPENERS else k + 1
        if top & ASSIGNMENTS or words[0] in ("++", "--") or words[-1] in ("++", "--"):
            return True
        callee = self.openers.get(last - 1, 0) - 1  # a call: name ( ... ) ;
        return words[-1] == ")" and (self.tokens[callee].kind == "ident" or
                                     self.word(callee) in (">", ")"))

    def negate(self, opening, close):
        start = opening + 1
        for k in range(start, close):  # an init-statement: the condition follows its ;
            if self.words[k] == ";":
                start = k + 1
        if start < close and not self.declares(start, close):
            self.found.append((self.tokens[start].start, self.tokens[close - 1].end, None))


def shifted(literal, step):
    """The integer literal moved by `step`, in the literal's own base and suffix; None for a
    floating-point one."""
    m = re.fullmatch(r"(0[xX][0-9a-fA-F']+|0[bB][01']+|0[0-7']*|[1-9][\d']*)([A-Za-z_]*)", literal)
    if not m:
        return None
    body, suffix = m.group(1).replace("'", ""), m.group(2)
    bases = {"0x": (16, "0x{:x}"), "0X": (16, "0X{:X}"), "0b": (2, "0b{:b}"), "0B": (2, "0B{:b}")}
    octal = body[0] == "0" and len(body) > 1
    base, form = bases.get(body[:2], (8, "0{:o}") if octal else (10, "{}"))
    value = int(body[2:] if base in (2, 16) else body, base) + step
    if value < 0:
        return "(-" + form.format(-value) + suffix + ")"
    text = f"{value:,}".replace(",", "'") if base == 10 and "'" in literal else form.format(value)
    return text + suffix


def emptied(literal):
    """The string literal with nothing between its quotes; None when it is empty already."""
    raw = re.match(r'(\w*R"([^(]*)\()', literal)
    empty = raw.group(1) + ")" + raw.group(2) + '"' if raw else literal[:literal.index('"')] + '""'
    return None if empty == literal else empty


def mutants_of(text):
    """Every mutant of a C++ source text, as (start, end, replacement) in file order."""
    tokens = tokenize(text)
    words = [t.text for t in tokens]
    pairs = bracket_pairs(words)
    closes, angles = template_angles(tokens)
    frozen, found = set(), []
    for i, word in enumerate(words[:-1]):
        if word == "static_assert" and words[i + 1] == "(":
            frozen.update(range(i, pairs[i + 1] + 1))
    for i, token in enumerate(tokens):
        if i in frozen or i in angles or (i and words[i - 1] in ("operator", "extern")):
            continue
        spaced_after = i + 1 == len(tokens) or tokens[i + 1].spaced
        if token.text in SWAPS and (token.text != "&&" or token.spaced and spaced_after):
            found.append((token.start, token.end, SWAPS[token.text]))  # T&& x is a reference
        elif token.kind == "number":
            found += [(token.start, token.end, s)
                      for s in (shifted(token.text, 1), shifted(token.text, -1)) if s]
        elif token.kind == "string" and emptied(token.text):
            found.append((token.start, token.end, emptied(token.text)))
    found += Statements(tokens, pairs, closes).found
    return sorted(found, key=lambda m: (m[0], -m[1]))


class Mutant:
    def __init__(self, path, text, start, end, replacement):
        self.path, self.start, self.end = path, start, end
        self.replacement = "!(" + text[start:end] + ")" if replacement is None else replacement
        self.line = text.count("\n", 0, start) + 1
        first = text.rfind("\n", 0, start) + 1
        last = text.find("\n", end) % (len(text) + 1)  # no line end: to the end
        after = text[first:start] + self.replacement + text[end:last]
        self.edit = f"`{shown(text[first:last])}` → `{shown(after)}`"
        self.occurrence = 1

    def name(self):
        """The edit as printed, numbered where the same edit occurs again in the file."""
        return self.edit + (f" #{self.occurrence}" if self.occurrence > 1 else "")

    def key(self):
        return f"{self.path} | {self.name()}"

    def apply(self, text):
        return text[:self.start] + self.replacement + text[self.end:]


def shown(lines):
    """Source lines as one line: white space runs made one space, and a text of more than two
    lines shown by its first and last."""
    lines = [" ".join(line.split()) for line in lines.split("\n")]
    return " ".join(lines) if len(lines) <= 2 else f"{lines[0]} … {lines[-1]}"


def mutants_of_file(root, path):
    text = (root / path).read_text(encoding="utf-8")
    seen, mutants = Counter(), []
    for start, end, replacement in mutants_of(text):
        mutant = Mutant(path, text, start, end, replacement)
        seen[mutant.edit] += 1
        mutant.occurrence = seen[mutant.edit]
        mutants.append(mutant)
    return mutants


def read_equivalents(path):
    """The reviewed equivalent mutants: `file | edit | why`, one a line; # starts a note."""
    keys = {}
    for number, line in enumerate(Path(path).read_text(encoding="utf-8").splitlines(), 1):
        if not line.strip() or line.startswith("#"):
            continue
        parts = line.split(" | ")  # the edit may hold " | " itself; the file and reason do not
        if len(parts) < 3 or not parts[-1].strip():
            sys.exit(f"{path}:{number}: want `file | edit | why no behaviour can change`")
        keys[" | ".join(parts[:-1])] = number
    return keys


def spread_sample(mutants, count, seed):
    """`count` mutants spread over the files in proportion to their mutants, the same for a
    seed: each file's mutants in a shuffled order, placed at even steps from a random offset."""
    rng, by_file, placed = random.Random(seed), defaultdict(list), []
    for mutant in mutants:
        by_file[mutant.path].append(mutant)
    for path in sorted(by_file):
        own = by_file[path]
        rng.shuffle(own)
        offset = rng.random()
        placed += [((rank + offset) / len(own), path, m) for rank, m in enumerate(own)]
    placed.sort(key=lambda p: (p[0], p[1]))
    return [m for _, _, m in placed[:count]]


def files_of(root):
    """The files under `root` as relative paths, but for its build/ and .git."""
    for folder, dirs, files in os.walk(root):
        if Path(folder) == root:
            dirs[:] = [d for d in dirs if d not in ("build", ".git")]
            files = [f for f in files if f != ".git"]
        yield from (Path(folder, name).relative_to(root) for name in files)


def sync(source, copy):
    """Makes `copy` hold the files of `source`, its build/ aside; a file is written only when its
    content differs, so that an incremental build rebuilds just what changed."""
    wanted = set(files_of(source))
    for relative in wanted:
        data, target = (source / relative).read_bytes(), copy / relative
        if not target.is_file() or target.read_bytes() != data:
            target.parent.mkdir(parents=True, exist_ok=True)
            target.write_bytes(data)
            shutil.copymode(source / relative, target)
    for relative in set(files_of(copy)) - wanted:
        (copy / relative).unlink()


def run(command, cwd, log, timeout=None):
    """Runs a shell command: "passed", "failed" or "timeout" (its whole process group ended)."""
    with open(log, "a") as out:
        out.write(f"$ {command}\n")
        out.flush()
        child = subprocess.Popen(command, shell=True, cwd=cwd, stdout=out, stderr=subprocess.STDOUT,
                                 start_new_session=True)
        try:
            return "passed" if child.wait(timeout=timeout) == 0 else "failed"
        except subprocess.TimeoutExpired:
            os.killpg(child.pid, signal.SIGKILL)
            child.wait()
            return "timeout"


def try_mutant(mutant, copy, args, log):
    """"killed", "timeout", "survived" or "not built"; the file is restored in any case."""
    target = copy / mutant.path
    original = target.read_text(encoding="utf-8")
    target.write_text(mutant.apply(original), encoding="utf-8")
    try:
        if run(args.build, copy, log) != "passed":
            return "not built"
        outcome = run(args.test, copy, log, args.timeout)
        return {"passed": "survived", "failed": "killed", "timeout": "timeout"}[outcome]
    finally:
        target.write_text(original, encoding="utf-8")  # a new time: the next build redoes it


COLUMNS = ["run", "of", "killed", "timeout", "survived", "not built", "equivalent"]


def report(args, population, left_out, chosen, outcomes, seconds):
    """Prints the run's figures as Markdown, ready to paste into docs/reliability.md."""
    rows = defaultdict(Counter)
    for mutant in population:
        rows[mutant.path]["of"] += 1
    for mutant in left_out:
        rows[mutant.path]["equivalent"] += 1
    for mutant, outcome in zip(chosen, outcomes):
        rows[mutant.path].update(["run", outcome])
    rows["all"] = sum(rows.values(), Counter())
    date = datetime.date.today().strftime("%-d %B %Y")
    scope = " ".join(args.files) or (" ".join(args.include) +
                                     "".join(f" but {g}" for g in args.exclude))
    if args.again:
        picked = f"the {len(chosen)} survivors of {args.again} that the code still makes"
    elif args.sample:
        picked = f"{len(chosen)} mutants of {len(population)}, seed {args.seed}"
    else:
        picked = f"all {len(chosen)} mutant" + "s" * (len(chosen) != 1)
    print(f"Mutation run of {date}: {picked}, in {scope} ({len(left_out)} equivalent, left out);"
          f" {seconds / max(len(chosen), 1):.0f} s a mutant.\n")
    print("| File | Mutants run | Of | Killed | Killed by timeout | Survived | Not built |"
          " Equivalent, left out |\n" + "|---" * len(COLUMNS) + "|---|")
    for path in sorted(rows, key=lambda p: (p == "all", p)):
        if args.again and not (rows[path]["run"] or rows[path]["equivalent"]):
            continue  # the survivors' files are the run's; the rest says nothing
        name = path if path == "all" else f"`{path}`"
        print(f"| {name} | " + " | ".join(str(rows[path][c]) for c in COLUMNS) + " |")
    total = rows["all"]
    killed = total["killed"] + total["timeout"]
    built = killed + total["survived"]
    rate = f"{100 * killed / built:.1f} %" if built else "none built"
    print(f"\nKill rate: {killed} of {built} = {rate} (killed, by timeout too, of the mutants"
          " that built).")
    survivors = sorted((m for m, o in zip(chosen, outcomes) if o == "survived"),
                       key=lambda m: (m.path, m.line))
    if survivors:
        print("\nSurvivors:\n\n" + "\n".join(f"- {m.path}:{m.line}: {m.name()}" for m in survivors))


def choose(args):
    """The mutants in scope, those the equivalents list leaves out, and those to run."""
    def in_scope(path):
        return (any(fnmatch.fnmatch(path, g) for g in args.include)
                and not any(fnmatch.fnmatch(path, g) for g in args.exclude)
                and (not args.files or any(fnmatch.fnmatch(path, g) for g in args.files)))

    paths = sorted(str(p) for p in files_of(args.source))
    population = [m for p in paths if in_scope(p) for m in mutants_of_file(args.source, p)]
    equivalents = read_equivalents(args.equivalents) if args.equivalents else {}
    for key in sorted(set(equivalents) - {m.key() for m in population}):
        if in_scope(key.split(" | ")[0]):
            print(f"NOTE: {args.equivalents}:{equivalents[key]} names no mutant any more: {key}",
                  file=sys.stderr)
    left_out = [m for m in population if m.key() in equivalents]
    candidates = [m for m in population if m.key() not in equivalents]
    if args.again:
        chosen = survivors_again(args.again, population, candidates)
    elif args.sample:
        chosen = spread_sample(candidates, args.sample, args.seed)
    else:
        chosen = candidates
    return population, left_out, sorted(chosen, key=lambda m: (m.path, m.start))


def survivors_again(report_path, population, candidates):
    """The survivors a report lists ("- file:line: edit"), found by file and edit, as lines move:
    to prove the rows added since kill them. One the code no longer makes, or now listed as
    equivalent, is said, not run."""
    wanted = []
    for line in Path(report_path).read_text(encoding="utf-8").splitlines():
        found = re.match(r"- ([^:]+):\d+: (.*)$", line)
        if found:
            wanted.append((found[1], found[2]))
    by_name = {(m.path, m.name()): m for m in population}
    runnable = {(m.path, m.name()) for m in candidates}
    chosen = []
    for path, name in wanted:
        if (path, name) in runnable:
            chosen.append(by_name[(path, name)])
        else:
            why = "listed as equivalent" if (path, name) in by_name else "the code makes it no more"
            print(f"NOTE: not run again, {why}: {path} | {name}", file=sys.stderr)
    return chosen


def try_all(args, chosen):
    """Prepares and builds the copy, proves the suite passes without a mutant, then tries each."""
    args.copy.mkdir(parents=True, exist_ok=True)
    sync(args.source.resolve(), args.copy.resolve())
    log = args.copy.parent / "mutation.log"
    log.write_text("")
    for step, command in (("prepare", args.prepare), ("build", args.build), ("test", args.test)):
        started = time.monotonic()
        if run(command, args.copy, log) != "passed":
            sys.exit(f"mutation run: without a mutant the {step} step fails already: {command}"
                     f" (see {log})")
    suite = time.monotonic() - started
    args.timeout = args.timeout or 3 * suite + 30
    print(f"Without a mutant the copy builds and its tests pass in {suite:.0f} s; a mutant's tests"
          f" may take {args.timeout:.0f} s. The last mutant's output: {log}", file=sys.stderr)
    outcomes, started = [], time.monotonic()
    for number, mutant in enumerate(chosen, 1):
        log.write_text("")
        began = time.monotonic()
        outcomes.append(try_mutant(mutant, args.copy, args, log))
        print(f"[{number}/{len(chosen)}] {outcomes[-1]:9} {mutant.path}:{mutant.line}:"
              f" {mutant.name()} ({time.monotonic() - began:.0f} s)", file=sys.stderr)
    return outcomes, time.monotonic() - started


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--source", type=Path, required=True, help="the tree to mutate a copy of")
    parser.add_argument("--copy", type=Path, help="the scratch copy, reused from run to run")
    parser.add_argument("--include", action="append", default=[], help="files in scope (glob)")
    parser.add_argument("--exclude", action="append", default=[], help="files out of scope")
    parser.add_argument("--files", action="append", default=[],
                        help="narrows the files in scope (glob; * spans folders; again: or)")
    parser.add_argument("--equivalents", help="the reviewed list of equivalent mutants")
    parser.add_argument("--sample", type=int, help="how many mutants to run (all: none given)")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--prepare", default="true", help="run once in the copy before the build")
    parser.add_argument("--build", default="true", help="builds the copy")
    parser.add_argument("--test", default="true", help="the suite; status 0 when it passes")
    parser.add_argument("--timeout", type=float, help="seconds a mutant's tests may take")
    parser.add_argument("--again", help="a report: runs only the survivors it lists")
    parser.add_argument("--list", action="store_true", help="prints the mutants, runs nothing")
    args = parser.parse_args()
    population, left_out, chosen = choose(args)
    if args.list:
        print("\n".join(f"{m.path}:{m.line}: {m.name()}" for m in population))
        return
    outcomes, seconds = try_all(args, chosen)
    report(args, population, left_out, chosen, outcomes, seconds)


if __name__ == "__main__":
    main()
