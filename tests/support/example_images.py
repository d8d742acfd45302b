"""The example data as the main job leaves it, for the Python tests: each
family's job (examples/FAMILY/job.txt: one `SHEET SHEET_FILE [LAYOUT]` line
per sheet) and the family's example image with every sheet of it written.

A test imports it after putting this folder on its path:
    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
    import example_images
"""
import os
import shutil
import subprocess


def job(examples, family):
    """The family's job: [sheet, sheet file] or [sheet, sheet file, layout] per line."""
    with open(os.path.join(examples, family, "job.txt")) as f:
        return [words for words in (line.split() for line in f) if words and not words[0].startswith("#")]


def job_sheets(examples, family):
    """The sheets of the family's job, in its order."""
    return [words[0] for words in job(examples, family)]


def write_example_image(calvex, examples, family, dst, layout=None):
    """Copies the family's example image to dst and writes every sheet of its
    job into it, as the main job does; an LTE sheet in `layout` when given,
    else in the job's. A write-back file goes next to dst. Raises
    AssertionError with calvex's standard error when a write fails; returns
    dst."""
    shutil.copyfile(os.path.join(examples, family, "nv.bin"), dst)
    write_back = os.path.join(os.path.dirname(os.path.abspath(dst)), "write-back.csv")
    for words in job(examples, family):
        opts = ["--layout", layout or words[2]] if len(words) > 2 else []
        p = subprocess.run([calvex, *opts, "write", words[0], dst, os.path.join(examples, family, words[1]),
                            "--write-back", write_back], capture_output=True, text=True)
        if p.returncode != 0:
            raise AssertionError("write %s into %s: exit %d: %s" % (words[0], dst, p.returncode, p.stderr))
    return dst
