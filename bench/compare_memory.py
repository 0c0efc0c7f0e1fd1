"""The peak resident memory of a stretch of work in this process, in bytes above what the
process held when it began (Linux: the kernel's peak-RSS reset, /proc/self/clear_refs)."""


def status_bytes(field):
    with open("/proc/self/status") as status:
        for line in status:
            name, _, value = line.partition(":")
            if name == field:
                return int(value.split()[0]) * 1024
    return None


class PeakMemory:
    def __enter__(self):
        try:
            with open("/proc/self/clear_refs", "w") as clear:
                clear.write("5")
            self.before = status_bytes("VmRSS")
        except OSError:
            self.before = None
        self.extra_bytes = None
        return self

    def __exit__(self, *exc):
        peak = status_bytes("VmHWM")
        if self.before is not None and peak is not None:
            self.extra_bytes = peak - self.before
        return False
