"""What the scripts that drive the real window under Wine share: the GUI test, the demo and the
start-up benchmark. Each keeps to a range of X display numbers of its own so that they can run
side by side."""

import os
import subprocess
import time


def host_to_wine(path):
    """A host path as Wine's Z: drive shows it."""
    return "Z:" + str(path).replace("/", "\\")


def wait_until(condition, seconds, what, failure=AssertionError):
    """The first true value of condition(), polled until `seconds` have passed."""
    deadline = time.monotonic() + seconds
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise failure("timed out after %d s waiting for %s" % (seconds, what))
        time.sleep(0.2)


class XvfbDisplay:
    def __init__(self, numbers, screen="1600x1200x24"):
        self.numbers = numbers
        self.screen = screen
        self.process = None
        self.display = None

    def start(self):
        """Starts Xvfb on the first free number of the range and returns ":N"."""
        for number in self.numbers:
            if os.path.exists("/tmp/.X%d-lock" % number):
                continue
            process = subprocess.Popen(
                ["Xvfb", ":%d" % number, "-screen", "0", self.screen, "-nolisten", "tcp"],
                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            deadline = time.monotonic() + 10
            while time.monotonic() < deadline and process.poll() is None:
                if os.path.exists("/tmp/.X11-unix/X%d" % number):
                    self.process, self.display = process, ":%d" % number
                    return self.display
                time.sleep(0.1)
            if process.poll() is None:
                process.kill()
            process.wait()
        raise RuntimeError("no free X display among :%d-:%d" % (self.numbers[0], self.numbers[-1]))

    def stop(self):
        if self.process is None:
            return
        self.process.terminate()
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        self.process = None

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()
