# The runs of bench/identity.sh: each run once with the reference program and once with the new
# one, in folders of their own, every file they leave and everything they print compared.
# Usage: identity.py REF_BIN NEW_BIN WORK REAL_RECORDS
import filecmp, os, pty, re, select, shutil, subprocess, sys, time

ref, new, work, real = (os.path.abspath(a) for a in sys.argv[1:5])
programs = {"ref": os.path.join(ref, "marc-pinyin-cli"), "new": os.path.join(new, "marc-pinyin-cli")}
dbs = {"ref": os.path.join(ref, "py.db"), "new": os.path.join(new, "py.db")}
differences, runs = [], 0
seconds = re.compile(rb"\d+\.\d+ s\b")
# Generated identifiers remember the last one in a state file: one of its own for each run.
env = dict(os.environ, LANG="C.UTF-8", XDG_STATE_HOME=os.path.join(work, "state"))


def records(path):
    data = open(path, "rb").read()
    return [r + b"\x1d" for r in data.split(b"\x1d") if r.strip(b"\r\n")]


def damaged(source, path, count=3000):
    """Synthetic records with one fault each in turn, good ones between, and bytes between records."""
    recs = [r.lstrip(b"\r\n") for r in records(source)[:count]]
    out = []
    for i, r in enumerate(recs):
        r = bytearray(r)
        base = int(r[12:17])
        entries = [(bytes(r[k:k + 3]), int(r[k + 3:k + 7]), int(r[k + 7:k + 12]), k)
                   for k in range(24, base - 1, 12)]
        field = {tag: (base + start, length, k) for tag, length, start, k in entries}
        kind = i % 40
        def at(tag, skip=0):
            return field[tag][0] + skip
        if kind == 1 and b"101" in field:
            r[field[b"101"][2] + 3:field[b"101"][2] + 7] = b"0000"  # a field of length 0
        elif kind == 2:
            r[at(b"200", 6)] = 0x1E  # a field terminator inside a listed field
        elif kind == 3:
            r[at(b"200", 6):at(b"200", 8)] = b"\x80\x80"  # bytes GBK does not have, listed field
        elif kind == 4:
            r[at(b"801", 6):at(b"801", 8)] = b"\xff\xff"  # the same in a field no run changes
        elif kind == 5:
            r[24:27] = b"2#0"  # a tag that is not letters or digits
        elif kind == 6:
            r = r[:-12] + b"\x1d"  # a record cut short
        elif kind == 7:
            r[at(b"801", 5)] = 0x0D  # a line break inside a field's data
        elif kind == 8:
            r[0:5] = b"%05d" % (len(r) + 7)  # a leader that misstates the length
        elif kind == 9:
            e = 24 + 12 * 3
            r[e:e + 12], r[e + 12:e + 24] = r[e + 12:e + 24], r[e:e + 12]  # entries out of order
        elif kind == 10:
            out.append(b"garbage between records\r\n")
        elif kind == 11:
            r[at(b"200", 5)] = ord("|")  # a "|" in the data
        elif kind == 12:
            r[at(b"801", 0)] = 0x1F  # a delimiter where an indicator stands
        elif kind == 13:
            r[at(b"200", 0):at(b"200", 2)] = "中".encode("gbk")  # a listed field with a character for indicators
        elif kind == 14:
            r[at(b"005", 2)] = 0x1F  # a delimiter in a control field
        elif kind == 15:
            r = r[:24] + b"\x1e" + r[25:]  # a directory that is not whole entries
        elif kind == 16:
            r[at(b"701", 4)] = ord("9")  # a subfield 9 in a listed field
        elif kind == 17:
            r[at(b"200", 3):at(b"200", 4)] = b"A"  # a subfield A where the title starts
        elif kind == 18:
            r[at(b"606", 6):at(b"606", 8)] = "\u00e9".encode("utf-8")  # UTF-8 bytes in a GBK field
        elif kind == 19:
            r[at(b"200", 2)] = ord("x")  # text before the first subfield
        out.append(bytes(r) + (b"\r\n" if i % 3 == 0 else b""))
    out.append(recs[5][: len(recs[5]) // 2])  # the file ends inside a record
    open(path, "wb").write(b"".join(out))


def mutated(source, path, count=5000, seed=27):
    """Synthetic records with a few bytes set to bytes that matter to a reader, anywhere but in the
    directory entries of 001 and 005 (a record without them gets ones made from the clock)."""
    import random
    rng = random.Random(seed)
    special = [0x1E, 0x1D, 0x1F, ord("|"), 0x0D, 0x0A, 0x20, 0x81, 0xFF, 0x80, ord("0"), ord("a"), ord("A"), ord("9")]
    out = []
    for r in records(source)[:count]:
        r = bytearray(r.lstrip(b"\r\n"))
        for _ in range(rng.randint(1, 3)):
            at = rng.randrange(len(r) - 24)
            r[at if at < 24 else at + 24] = rng.choice(special) if rng.random() < 0.7 else rng.randrange(256)
        out.append(bytes(r))
    open(path, "wb").write(b"".join(out))


def compare(name, folders, results):
    global runs
    runs += 1
    (rdir, rres), (ndir, nres) = [(folders[k], results[k]) for k in ("ref", "new")]
    if rres != nres:
        differences.append(f"{name}: exit status, standard output or error differ")
    rfiles, nfiles = sorted(os.listdir(rdir)), sorted(os.listdir(ndir))
    if rfiles != nfiles:
        differences.append(f"{name}: files {rfiles} against {nfiles}")
    for f in set(rfiles) & set(nfiles):
        if not filecmp.cmp(os.path.join(rdir, f), os.path.join(ndir, f), shallow=False):
            differences.append(f"{name}: {f} differs")


def folders_for(name):
    out = {}
    for who in ("ref", "new"):
        d = os.path.join(work, "runs", who, re.sub(r"[^\w.-]+", "_", name))
        os.makedirs(d, exist_ok=True)
        out[who] = d
    return out


def run(name, input_path, args, output=True):
    """One run in each program: INPUT OUT, OUT in a folder of its own."""
    folders, results = folders_for(name), {}
    for who, program in programs.items():
        argv = [program, "--db", dbs[who]] + args + [input_path] + (["out"] if output else [])
        p = subprocess.run(argv, cwd=folders[who], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                           stdin=subprocess.DEVNULL, env=env)
        results[who] = (p.returncode, p.stdout, seconds.sub(b"S s", p.stderr.replace(folders[who].encode(), b"")))
    compare(name, folders, results)
    return os.path.join(folders["new"], "out")


def asked(name, input_path, args):
    """A run in a manual mode on a pseudo-terminal: each question answered in turn by Enter, 1 or 2."""
    folders, results = folders_for(name), {}
    for who, program in programs.items():
        argv = [program, "--db", dbs[who]] + args + [input_path, "out"]
        pid, fd = pty.fork()
        if pid == 0:
            os.chdir(folders[who])
            os.execve(program, argv, env)
        shown, questions, answers = b"", 0, [b"\r", b"1\r", b"2\r"]
        while True:
            ready, _, _ = select.select([fd], [], [], 30)
            if not ready:
                break
            try:
                chunk = os.read(fd, 65536)
            except OSError:
                break
            if not chunk:
                break
            shown += chunk
            while shown.count(b"]?") > questions:
                os.write(fd, answers[questions % 3])
                questions += 1
        _, status = os.waitpid(pid, 0)
        # The progress line comes and goes with the clock: the questions and answers are compared.
        shown = re.sub(rb"[^\n]*MB/s", b"", shown.replace(b"\r", b"")).replace(b"\x1b[K", b"")
        results[who] = (os.waitstatus_to_exitcode(status), seconds.sub(b"S s", re.sub(rb"\n+", b"\n", shown)))
    compare(name, folders, results)
    return results["new"]


syn = os.path.join(work, "syn.gbk.mrc")
q = ["--quiet"]
options = [[], ["--polyphone", "first"], ["--code", "9"], ["--case", "capital"], ["--spacing", "apart"],
           ["--subfields", "chinese"], ["--existing", "keep"], ["--remove-pinyin"],
           ["--remove-pinyin", "--code", "9"], ["--remove-pinyin", "--subfields", "chinese"],
           ["--encoding", "gbk"], ["--encoding", "gb18030"], ["--encoding", "utf-8"], ["--leader", "template"],
           ["--separator", "crlf"], ["--separator", "none"], ["--tags", "200 701 AVA"],
           ["--polyphone", "first", "--code", "9", "--case", "capital"]]
for opts in options:
    out = run("syn " + " ".join(opts), syn, q + opts)
# Records that carry pinyin already: a first run's output, read again in every existing-pinyin mode.
for code in ("A", "9"):
    carried = run(f"syn carrying {code}", syn, q + ["--polyphone", "first", "--code", code])
    kept = os.path.join(work, f"carrying-{code}.mrc")
    shutil.copy(carried, kept)
    for opts in (["--existing", "keep"], ["--existing", "delete"], ["--remove-pinyin", "--code", code],
                 ["--code", "9" if code == "A" else "A"], ["--subfields", "chinese"]):
        run(f"carrying {code} " + " ".join(opts), kept, q + ["--polyphone", "first"] + opts)
for enc in ("utf8", "gb18030"):
    for opts in ([], ["--polyphone", "first"], ["--encoding", "gbk"], ["--subfields", "chinese"],
                 ["--remove-pinyin"], ["--leader", "template"]):
        run(f"{enc} " + " ".join(opts), os.path.join(work, f"syn.{enc}.mrc"), q + opts)
small = os.path.join(work, "small.mrc")
open(small, "wb").write(b"".join(records(syn)[:2000]))
for opts in (["--dump"], ["--check"], ["--dump", "--encoding", "utf-8"]):
    run("small " + " ".join(opts), small, opts, output="--check" in opts)
run("small --review-out", small, ["--review-out", "review.tsv"], output=False)

for f in sorted(os.listdir(real)):
    if not f.endswith((".iso", ".mrc")):
        continue
    path = os.path.join(real, f)
    for opts in ([], ["--polyphone", "first"], ["--subfields", "chinese"], ["--remove-pinyin"],
                 ["--existing", "keep"], ["--code", "9"], ["--tags", "200 245 880 AVA"],
                 ["--leader", "template"], ["--encoding", "utf-8"], ["--encoding", "gbk"]):
        run(f"real {f} " + " ".join(opts), path, opts)
    run(f"real {f} --dump", path, ["--dump"], output=False)
    run(f"real {f} --check", path, ["--check"])

bad, bad_small = os.path.join(work, "damaged.mrc"), os.path.join(work, "damaged-small.mrc")
damaged(syn, bad)
damaged(syn, bad_small, 200)
for opts in ([], ["--polyphone", "first"], ["--remove-pinyin"], ["--subfields", "chinese"],
             ["--encoding", "utf-8"], ["--leader", "template"], ["--existing", "keep"], ["--code", "9"]):
    run("damaged " + " ".join(opts), bad, opts)
run("damaged --dump", bad, ["--dump"], output=False)
noisy = os.path.join(work, "mutated.mrc")
mutated(syn, noisy)
for opts in ([], ["--polyphone", "first"], ["--remove-pinyin"], ["--subfields", "chinese"], ["--encoding", "utf-8"],
             ["--leader", "template"], ["--tags", "200 AVA 0"]):
    run("mutated " + " ".join(opts), noisy, opts)

ask = os.path.join(work, "ask.mrc")
for mode in ("ask", "ask-unsure"):
    asked(f"manual {mode}", ask, ["--polyphone", mode])
    asked(f"manual {mode} chinese", ask, ["--polyphone", mode, "--subfields", "chinese"])
    asked(f"manual {mode} damaged", bad_small, ["--polyphone", mode, "--tags", "200"])
    asked(f"manual {mode} real", os.path.join(real, "cnmarc-university.gbk.iso"), ["--polyphone", mode])

for d in differences:
    print(d)
print(f"identity: {runs} runs, {len(differences)} differences")
sys.exit(1 if differences else 0)
