# SPDX-License-Identifier: GPL-3.0-or-later
"""One job of speech-bridge, run to its end, as the benches run it."""
import json
import subprocess


def run_job(program, arguments, stdin_text=None, env=None):
    """Runs `program` with `arguments` (writing `stdin_text`, if any, to its
    input) until it exits; returns its events, one dict per line. Raises when
    it wrote anything on stderr, which it never should."""
    job = subprocess.run([program, *arguments], input=stdin_text, env=env, capture_output=True, text=True,
                         check=False)
    if job.stderr:
        raise RuntimeError(f"{program} {' '.join(arguments)} wrote to stderr: {job.stderr}")
    return [json.loads(line) for line in job.stdout.splitlines() if line]


def final_of_file(program, path, *arguments):
    """The "final" event of --transcribe-file PATH with `arguments` (such as
    "--grammar", GRAMMAR); raises when the job ended otherwise."""
    events = run_job(program, ["--transcribe-file", path, *arguments])
    if not events or events[-1].get("event") != "final":
        raise RuntimeError(f"--transcribe-file {path}: {events[-1] if events else 'no event'}")
    return events[-1]
