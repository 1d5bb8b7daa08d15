"""The worker pool starts on the first parallel operation, never at import."""
import subprocess
import sys


def test_import_starts_no_threads():
    code = (
        "import quorvane\n"
        "status = open('/proc/self/status').read()\n"
        "print([l for l in status.splitlines() if l.startswith('Threads:')][0].split()[1])\n"
    )
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True)
    assert out.stdout.strip() == "1"
