"""calvex and the tools around the files they change: outputs that name an
input, links, owners, locks, signals, FIFOs and hostile workbooks.
usage: safe_output_test.py CALVEX BINCUT EXAMPLES_DIR HOSTILE_GENERATOR"""
import fcntl
import os
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import threading
import time
import unittest

CALVEX, BINCUT, EXAMPLES, HOSTILE = sys.argv[1:5]
STRACE = shutil.which("strace")
SETPRIV = shutil.which("setpriv")
NOBODY = 65534
# A hostile workbook must be refused within this much memory and time.
HOSTILE_MEMORY_BYTES = 256 << 20
HOSTILE_SECONDS = 10
# An address-sanitized build reserves terabytes of shadow memory (no address
# space limit then) and its leak check cannot run under strace.
with open(CALVEX, "rb") as _program:
    SANITIZED = b"__asan_init" in _program.read()


def run(*args, stdin=None, timeout=60, env=None, preexec=None):
    p = subprocess.run([*args], capture_output=True, text=True, stdin=stdin, timeout=timeout, env=env,
                       preexec_fn=preexec)
    return p.returncode, p.stdout, p.stderr


def temporaries(folder):
    return sorted(n for n in os.listdir(folder) if n.startswith(".calvex-") or ".bin." in n)


class Files(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="calvex-safe-")
        os.chmod(self.dir, 0o777)
        shutil.copyfile(os.path.join(EXAMPLES, "common", "nv.bin"), self.path("g.bin"))
        shutil.copyfile(os.path.join(EXAMPLES, "gsm", "nv.bin"), self.path("g2.bin"))
        shutil.copyfile(os.path.join(EXAMPLES, "common", "TempDacTab.csv"), self.path("dac.csv"))
        shutil.copyfile(os.path.join(EXAMPLES, "common", "PortInfo.csv"), self.path("port.csv"))
        code, _, err = run(CALVEX, "dump", self.path("g2.bin"), "--family", "gsm", "-o", self.path("b.xlsx"))
        self.assertEqual(code, 0, err)
        self.tmp = os.path.join(self.dir, "tmp")
        os.mkdir(self.tmp)
        self.env = dict(os.environ, TMPDIR=self.tmp)
        if SANITIZED:
            self.env["ASAN_OPTIONS"] = "detect_leaks=0"

    def tearDown(self):
        shutil.rmtree(self.dir)

    def path(self, name):
        return os.path.join(self.dir, name)

    def bytes_of(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()

    def snapshot(self):
        return {n: self.bytes_of(n) for n in os.listdir(self.dir) if os.path.isfile(self.path(n))}

    def calvex(self, *args, **kw):
        return run(CALVEX, *args, env=self.env, **kw)

    def calvex_traced(self, *args):
        strace_args = [a for a in args[:2]]
        return run(STRACE, "-o", os.devnull, *strace_args, CALVEX, *args[2:], env=self.env)

    def expected_after(self, *writes):
        """The image g.bin after the given (sheet, sheet file) writes, one after the other."""
        shutil.copyfile(self.path("g.bin"), self.path("ref.bin"))
        for sheet, sheet_file in writes:
            self.assertEqual(self.calvex("write", sheet, self.path("ref.bin"), self.path(sheet_file))[0], 0)
        data = self.bytes_of("ref.bin")
        os.remove(self.path("ref.bin"))
        return data

    # ---- outputs that are inputs of another kind ----

    def test_an_output_that_is_an_input_of_another_kind_is_refused(self):
        os.link(self.path("dac.csv"), self.path("dac-link.csv"))
        os.symlink("g2.bin", self.path("g2-sym.bin"))
        d = self.dir
        cases = [  # (arguments, the line calvex prints)
            (["dump", f"{d}/g2.bin", "--family", "gsm", "-o", f"{d}/g2.bin"],
             f"calvex: the output workbook '{d}/g2.bin' is the image '{d}/g2.bin' (the same file); nothing was written"),
            (["dump", f"{d}/g2.bin", "--family", "gsm", "-o", f"{d}/g2-sym.bin"],  # through a symbolic link
             f"calvex: the output workbook '{d}/g2-sym.bin' is the image '{d}/g2.bin' (the same file); nothing was written"),
            (["write", "TempDacTab", f"{d}/g.bin", f"{d}/dac.csv", "-o", f"{d}/dac-link.csv"],  # through a hard link
             f"calvex: the output image '{d}/dac-link.csv' is the sheet file '{d}/dac.csv' (the same file); nothing was written"),
            (["write", "TempDacTab", f"{d}/dac.csv", f"{d}/dac.csv"],
             f"calvex: the image '{d}/dac.csv' is the sheet file '{d}/dac.csv' (the same file); nothing was written"),
            (["apply", f"{d}/g2.bin", f"{d}/b.xlsx", "-o", f"{d}/b.xlsx"],
             f"calvex: the output image '{d}/b.xlsx' is the workbook '{d}/b.xlsx' (the same file); nothing was written"),
            (["write", "GsmTmpComp", f"{d}/g2.bin", f"{d}/b.xlsx", "-o", f"{d}/b.xlsx"],
             f"calvex: the output image '{d}/b.xlsx' is the workbook '{d}/b.xlsx' (the same file); nothing was written"),
            (["read", "TempDacTab", f"{d}/g.bin", "-o", f"{d}/g.bin"],
             f"calvex: the output '{d}/g.bin' is the image itself; nothing was read or written"),
        ]
        before = self.snapshot()
        for args, line in cases:
            with self.subTest(args=args):
                code, _, err = self.calvex(*args)
                self.assertEqual(code, 2, err)
                self.assertIn(line, err.splitlines())
                self.assertEqual(self.snapshot(), before)
        # An output that is the image transformed stays allowed: an in-place write.
        code, _, err = self.calvex("write", "TempDacTab", f"{d}/g.bin", f"{d}/dac.csv", "-o", f"{d}/g.bin")
        self.assertEqual(code, 0, err)

    # ---- links and owners ----

    def test_a_symlinked_image_changes_its_target_and_keeps_the_link(self):
        os.mkdir(self.path("real"))
        shutil.copyfile(self.path("g.bin"), self.path("real/t.bin"))
        os.symlink("real/t.bin", self.path("link.bin"))
        expected = self.expected_after(("TempDacTab", "dac.csv"))
        code, _, err = self.calvex("write", "TempDacTab", self.path("link.bin"), self.path("dac.csv"))
        self.assertEqual(code, 0, err)
        self.assertTrue(os.path.islink(self.path("link.bin")))
        self.assertEqual(self.bytes_of("real/t.bin"), expected)
        self.assertEqual(temporaries(self.dir) + temporaries(self.path("real")), [])

    def test_an_image_with_other_names_is_refused(self):
        os.link(self.path("g.bin"), self.path("other.bin"))
        before = self.snapshot()
        code, _, err = self.calvex("write", "TempDacTab", self.path("g.bin"), self.path("dac.csv"))
        self.assertEqual(code, 1)
        self.assertEqual(err.splitlines(), [
            f"error: TempDacTab: '{self.path('g.bin')}' has 2 names (hard links); replacing it would leave the other "
            "names with the old data (write to a new name instead)"])
        self.assertEqual(self.snapshot(), before)
        # A copy under a new name is the way out.
        code, _, err = self.calvex("write", "TempDacTab", self.path("g.bin"), self.path("dac.csv"), "-o", self.path("n.bin"))
        self.assertEqual(code, 0, err)

    @unittest.skipUnless(os.geteuid() == 0, "needs root to give files to another user")
    def test_owner_group_and_mode_of_a_replaced_image_are_kept(self):
        os.chown(self.path("g.bin"), NOBODY, NOBODY)
        os.chmod(self.path("g.bin"), 0o600)
        code, _, err = self.calvex("write", "TempDacTab", self.path("g.bin"), self.path("dac.csv"))
        self.assertEqual(code, 0, err)
        st = os.stat(self.path("g.bin"))
        self.assertEqual((st.st_uid, st.st_gid, stat.S_IMODE(st.st_mode)), (NOBODY, NOBODY, 0o600))

    @unittest.skipUnless(os.geteuid() == 0 and SETPRIV, "needs root and setpriv to run as another user")
    def test_a_file_the_user_may_not_write_is_not_replaced(self):
        os.chmod(self.path("g.bin"), 0o444)  # root's, in a folder everyone may write
        os.chmod(self.tmp, 0o777)
        as_nobody = [SETPRIV, f"--reuid={NOBODY}", f"--regid={NOBODY}", "--clear-groups"]
        before = self.snapshot()
        code, _, err = run(*as_nobody, CALVEX, "write", "TempDacTab", self.path("g.bin"), self.path("dac.csv"),
                           env=self.env)
        self.assertEqual(code, 1)
        self.assertEqual(err.splitlines(),
                         [f"error: TempDacTab: cannot write '{self.path('g.bin')}': Permission denied"])
        code, out, err = run(*as_nobody, BINCUT, self.path("g.bin"), "0", "16", self.path("g.bin"))
        self.assertNotEqual(code, 0)
        self.assertIn("Permission denied", err)
        self.assertEqual(self.snapshot(), before)
        self.assertEqual(temporaries(self.dir), [])

    # ---- locks ----

    def test_readers_never_refuse_each_other(self):
        readers = [subprocess.Popen([CALVEX, "read", "TempDacTab", self.path("g.bin")], env=self.env,
                                    stdout=subprocess.PIPE, stderr=subprocess.PIPE) for _ in range(20)]
        results = [(p.wait(), p.stderr.read()) for p in readers]
        for p in readers:
            p.stdout.close()
            p.stderr.close()
        self.assertEqual([code for code, _ in results], [0] * 20, results)
        self.assertEqual(os.listdir(self.tmp), [])

    def test_a_read_only_image_reads(self):
        os.chmod(self.path("g.bin"), 0o444)
        code, out, err = self.calvex("read", "TempDacTab", self.path("g.bin"))
        self.assertEqual(code, 0, err)
        self.assertTrue(out.startswith("#sheet,TempDacTab"))

    def test_a_writer_waits_for_the_holder_then_writes(self):
        expected = self.expected_after(("TempDacTab", "dac.csv"))
        with open(self.path("g.bin"), "rb") as held:
            fcntl.flock(held, fcntl.LOCK_SH)
            timer = threading.Timer(0.5, lambda: fcntl.flock(held, fcntl.LOCK_UN))
            timer.start()
            code, _, err = self.calvex("write", "TempDacTab", self.path("g.bin"), self.path("dac.csv"), "--wait", "10")
            timer.join()
        self.assertEqual(code, 0, err)
        self.assertEqual(err.splitlines(), [
            f"calvex: image '{self.path('g.bin')}' is in use by another program; waiting up to 10 s (--wait SECONDS)",
            "ok: TempDacTab: 修改完成！ (changes written)"])
        self.assertEqual(self.bytes_of("g.bin"), expected)

    def test_a_writer_gives_up_after_its_wait(self):
        before = self.snapshot()
        with open(self.path("g.bin"), "rb") as held:
            fcntl.flock(held, fcntl.LOCK_EX)
            code, _, err = self.calvex("write", "TempDacTab", self.path("g.bin"), self.path("dac.csv"), "--wait", "0.3")
        self.assertEqual(code, 1)
        g = self.path("g.bin")
        self.assertEqual(err.splitlines(), [
            f"calvex: image '{g}' is in use by another program; waiting up to 0.3 s (--wait SECONDS)",
            f"error: TempDacTab: image '{g}' is held open by another program (waited 0.3 s; --wait SECONDS waits longer)"])
        self.assertEqual(self.snapshot(), before)

    @unittest.skipUnless(STRACE, "needs strace to delay a lock")
    def test_two_writers_racing_keep_both_updates(self):
        # B opens the image, then its lock is delayed while A replaces the
        # image: B must lock and change A's result, not the file A replaced.
        gsm = os.path.join(EXAMPLES, "gsm")
        shutil.copyfile(self.path("g2.bin"), self.path("scratch.bin"))
        self.assertEqual(self.calvex("write", "GsmRampCtrl", self.path("scratch.bin"), f"{gsm}/GsmRampCtrl.csv")[0], 0)
        self.assertEqual(self.calvex("read", "GsmRampCtrl", self.path("scratch.bin"), "-o", self.path("ramp.xlsx"))[0], 0)
        writers_b = {
            "write": ["write", "GsmRampCtrl", self.path("g.bin"), f"{gsm}/GsmRampCtrl.csv"],
            "apply": ["apply", self.path("g.bin"), self.path("ramp.xlsx")],
        }
        for kind, b_args in writers_b.items():
            with self.subTest(b=kind):
                shutil.copyfile(self.path("g2.bin"), self.path("g.bin"))
                shutil.copyfile(self.path("g2.bin"), self.path("ref.bin"))
                for sheet in ("GsmTmpComp", "GsmRampCtrl"):
                    self.calvex("write", sheet, self.path("ref.bin"), f"{gsm}/{sheet}.csv")
                b = subprocess.Popen([STRACE, "-o", os.devnull, "-e", "inject=flock:delay_enter=1500000", CALVEX,
                                      *b_args], env=self.env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
                time.sleep(0.5)
                code_a, _, err_a = self.calvex("write", "GsmTmpComp", self.path("g.bin"), f"{gsm}/GsmTmpComp.csv")
                _, err_b = b.communicate()
                self.assertEqual((code_a, b.returncode), (0, 0), err_a + err_b)
                self.assertEqual(self.bytes_of("g.bin"), self.bytes_of("ref.bin"))

    # ---- signals and stale temporaries ----

    @unittest.skipUnless(STRACE, "needs strace to hold a run between its steps")
    def test_a_signal_during_a_change_leaves_no_temporary(self):
        for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
            for program in ([CALVEX, "write", "TempDacTab", self.path("g.bin"), self.path("dac.csv")],
                            [BINCUT, self.path("g.bin"), "0", "100", self.path("g.bin")],
                            [CALVEX, "dump", self.path("g2.bin"), "--family", "gsm", "-o", self.path("b.xlsx")]):
                with self.subTest(signal=sig.name, program=os.path.basename(program[0]) + " " + program[1]):
                    before = self.snapshot()
                    p = subprocess.Popen([STRACE, "-o", os.devnull, "-e", "inject=fsync:delay_enter=1000000", *program],
                                         env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                    time.sleep(0.5)
                    # The program, not strace: its child.
                    child = int(subprocess.run(["pgrep", "-P", str(p.pid)], capture_output=True, text=True).stdout.split()[0])
                    os.kill(child, sig)
                    p.wait()
                    self.assertEqual(temporaries(self.dir), [])
                    self.assertEqual(os.listdir(self.tmp), [])
                    self.assertEqual(self.snapshot(), before)

    def test_stale_temporaries_of_crashed_runs_are_removed(self):
        stale, fresh = self.path(".calvex-aB3dE9.tmp"), self.path(".calvex-Zz0000.tmp")
        for name in (stale, fresh):
            with open(name, "wb") as f:
                f.write(b"x" * 100)
        two_hours_ago = time.time() - 7200
        os.utime(stale, (two_hours_ago, two_hours_ago))
        code, _, err = self.calvex("write", "TempDacTab", self.path("g.bin"), self.path("dac.csv"))
        self.assertEqual(code, 0, err)
        self.assertEqual(err.splitlines()[0],
                         f"calvex: removed 1 temporary file of an interrupted run from '{self.dir}'")
        self.assertFalse(os.path.exists(stale))
        self.assertTrue(os.path.exists(fresh))  # may belong to a run still going

    @unittest.skipUnless(STRACE, "needs strace to fail the rename")
    def test_success_is_told_only_after_the_rename(self):
        before = self.snapshot()
        code, _, err = self.calvex_traced("-e", "inject=rename:error=EIO", "write", "TempDacTab",
                                          self.path("g.bin"), self.path("dac.csv"))
        self.assertEqual(code, 1)
        self.assertEqual(err.splitlines(), [
            f"error: TempDacTab: cannot replace '{self.path('g.bin')}': Input/output error; the image was left unchanged"])
        self.assertEqual(self.snapshot(), before)
        self.assertEqual(temporaries(self.dir), [])

    # ---- FIFOs and hostile workbooks ----

    def test_a_workbook_fifo_is_refused_without_waiting(self):
        os.mkfifo(self.path("f.xlsx"))
        for args in (["apply", self.path("g2.bin"), self.path("f.xlsx")],
                     ["write", "GsmTmpComp", self.path("g2.bin"), self.path("f.xlsx")]):
            code, _, err = self.calvex(*args, timeout=10)
            self.assertEqual(code, 2)
            self.assertEqual(err.splitlines(), [f"calvex: {self.path('f.xlsx')}: not a regular file"])

    def test_a_sheet_file_from_a_pipe_works(self):
        expected = self.expected_after(("TempDacTab", "dac.csv"))
        with open(self.path("dac.csv"), "rb") as f:
            code, _, err = self.calvex("write", "TempDacTab", self.path("g.bin"), "-", stdin=f)
        self.assertEqual(code, 0, err)
        self.assertEqual(self.bytes_of("g.bin"), expected)
        # A named pipe with a writer, as a process substitution is.
        os.mkfifo(self.path("p.csv"))
        data = self.bytes_of("dac.csv")

        def feed():
            with open(self.path("p.csv"), "wb") as pipe:
                pipe.write(data)

        writer = threading.Thread(target=feed)
        writer.start()
        code, _, err = self.calvex("write", "TempDacTab", self.path("g.bin"), self.path("p.csv"), "-o", self.path("n.bin"))
        writer.join()
        self.assertEqual(code, 0, err)
        self.assertEqual(self.bytes_of("n.bin"), expected)

    def test_hostile_workbooks_are_refused_within_bounds(self):
        folder = self.path("hostile")
        subprocess.run([sys.executable, HOSTILE, folder], check=True)
        messages = {
            "shared-string-400-times.xlsx": ": its cell texts are longer than 64 MiB together",
            "nested-runs.xlsx": ": part xl/sharedStrings.xml nests elements deeper than 64",
            "sheets-share-a-part.xlsx": ": sheet 'S1' names the part xl/worksheets/sheet1.xml of another sheet",
            "sparse-rows-xfd.xlsx": "!GsmTmpComp!A4096: the worksheet's cells lie too far apart (more than 64 MiB as sheet text)",
        }

        def limit():
            import resource
            if SANITIZED:
                return
            resource.setrlimit(resource.RLIMIT_AS, (HOSTILE_MEMORY_BYTES * 2, HOSTILE_MEMORY_BYTES * 2))

        before = self.bytes_of("g2.bin")
        for name, message in messages.items():
            with self.subTest(name=name):
                started = time.monotonic()
                code, _, err = run(CALVEX, "apply", self.path("g2.bin"), os.path.join(folder, name),
                                   timeout=HOSTILE_SECONDS, preexec=limit, env=self.env)
                self.assertLess(time.monotonic() - started, HOSTILE_SECONDS)
                self.assertEqual(code, 2, err)
                self.assertTrue(err.splitlines()[0].endswith(message), err)
        self.assertEqual(self.bytes_of("g2.bin"), before)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
