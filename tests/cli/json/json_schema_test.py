"""quarn --json against its JSON schema, and against ripgrep's own JSON.

Every record of a set of searches (matches, context, inverted lines, several files, a long
line, bytes that are not UTF-8, a whole file, a binary file) must validate against
quarn-json.schema.json; the records must come in ripgrep's order (begin, match and context,
end, one summary last); each submatch and group must be the bytes of its line that its
offsets say, and each line the bytes of its file at its absolute offset. Where ripgrep is
installed, its records for the same search must equal ours once Quarn's additions (the
groups) and the times are taken out.

Usage: json_schema_test.py QUARN SCHEMA [RG]
"""

import base64
import json
import os
import subprocess
import sys
import tempfile

try:
    import jsonschema
except ImportError:
    sys.exit("json_schema_test: python3-jsonschema is missing (scripts/install-deps installs it)")


def data_bytes(data):
    return data["text"].encode() if "text" in data else base64.b64decode(data["bytes"])


def make_files(directory):
    files = {
        "fruits.txt": b"apple pie\nBanana split\ncherry tart\napple crumble\ngrape\n",
        "dates.txt": b"Meeting on 2024-03-15 at noon\nno date here\nDue 2023-12-01.\n",
        "mixed.txt": b"caf\xc3\xa9 2024-01-02\r\nbad \xff 1999-12-31\n\nlast 0000-00-00",
        "long.txt": (b"x" * 70000 + b" 2020-02-02 ") * 3 + b"\n",
        "binary.dat": b"2024-05-06\x00\n",
    }
    for name, content in files.items():
        with open(os.path.join(directory, name), "wb") as f:
            f.write(content)
    return sorted(n for n in files if n != "binary.dat")


def run(program, args, cwd):
    return subprocess.run([program] + args, cwd=cwd, capture_output=True, check=False).stdout


def check_records(out, cwd, failures, what):
    records = [json.loads(line) for line in out.splitlines()]
    validator = check_records.validator
    for record in records:
        for error in validator.iter_errors(record):
            failures.append(f"{what}: {error.message} in {json.dumps(record)[:200]}")
    # ripgrep's order: begin, then match and context records, then end; a summary last.
    state = "between"
    for record in records[:-1]:
        kind = record["type"]
        expected = {"between": ["begin"], "in": ["match", "context", "end"]}[state]
        if kind not in expected:
            failures.append(f"{what}: {kind} record where {expected} was due")
        state = "between" if kind == "end" else "in"
    if not records or records[-1]["type"] != "summary":
        failures.append(f"{what}: no summary record last")
    ends = [r["data"]["stats"] for r in records if r["type"] == "end"]
    if records and records[-1]["type"] == "summary":
        total = records[-1]["data"]["stats"]
        for key in ("matches", "matched_lines"):
            if total[key] != sum(stats[key] for stats in ends):
                failures.append(f"{what}: summary {key} is not the sum of the files'")
    # Each line is its file's bytes at its offset; each submatch and group the line's bytes.
    for record in records:
        if record["type"] not in ("match", "context"):
            continue
        data = record["data"]
        line = data_bytes(data["lines"])
        with open(os.path.join(cwd, data_bytes(data["path"]).decode("utf-8", "surrogateescape")), "rb") as f:
            f.seek(data["absolute_offset"])
            if f.read(len(line)) != line:
                failures.append(f"{what}: line {data['line_number']} is not at its offset")
        for submatch in data["submatches"]:
            for span in [submatch] + [g for g in submatch["groups"] if g is not None]:
                if line[span["start"]:span["end"]] != data_bytes(span["match"]):
                    failures.append(f"{what}: a span of line {data['line_number']} is not its bytes")
    return records


def comparable(records):
    """Records without Quarn's additions and without what depends on time. ripgrep's summary
    counts only the files with a match as searched; ours counts every file searched."""
    out = []
    for record in records:
        record = json.loads(json.dumps(record))
        data = record["data"]
        for submatch in data.get("submatches", []):
            submatch.pop("groups", None)
        if "stats" in data:
            data["stats"].pop("elapsed")
            data["stats"].pop("bytes_printed")
        if record["type"] == "summary":
            del data["elapsed_total"], data["stats"]["searches"], data["stats"]["bytes_searched"]
        out.append(record)
    return out


def main():
    quarn, schema_path = sys.argv[1], sys.argv[2]
    rg = sys.argv[3] if len(sys.argv) > 3 and sys.argv[3] else None
    with open(schema_path, encoding="utf-8") as f:
        schema = json.load(f)
    jsonschema.Draft7Validator.check_schema(schema)
    check_records.validator = jsonschema.Draft7Validator(schema)
    failures = []
    with tempfile.TemporaryDirectory() as cwd:
        text_files = make_files(cwd)
        date = r"(\d{4})-(\d\d)-(\d\d)"
        searches = [
            ([date] + text_files, True),
            (["-e", "a", "-e", "an", "-e", "p+"] + text_files, True),
            (["-C1", "cherry|Due"] + text_files, True),
            (["-v", "a"] + text_files, True),
            # After -m's last line, grep (and quarn) show matching lines as context; ripgrep
            # as matches.
            (["-m1", "-A1", "a"] + text_files, False),
            (["-i", "APPLE|(never)"] + text_files, False),
            (["^"] + text_files, True),
            (["nothing at all"] + text_files, True),
            (["--whole", "--crlf", "-M", r"^(\w+) (\d+)"] + text_files, False),
            (["--latin1", "caf."] + text_files, False),
            ([date, "binary.dat"], False),
        ]
        for args, with_rg in searches:
            what = "quarn --json " + " ".join(args)
            ours = check_records(run(quarn, ["--json"] + args, cwd), cwd, failures, what)
            if rg and with_rg:
                theirs = [json.loads(line) for line in
                          run(rg, ["--no-config", "-j1", "--sort=path", "--json"] + args, cwd).splitlines()]
                if comparable(ours) != comparable(theirs):
                    failures.append(f"{what}: the records differ from ripgrep's")
    for failure in failures:
        print(failure)
    print(f"json_schema_test: {len(searches)} searches, {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
