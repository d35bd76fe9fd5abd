"""CPU time of a process and its threads, from /proc, for the benchmarks' reports."""
import os


def cpu_seconds(pid):
    """User and system CPU of a process so far."""
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
