#!/usr/bin/env python3
"""Runs a test program as a client of a headless Weston of its own: Qt's Wayland platform on
a screen of the given scale, and no X server. The compositor and its runtime folder are gone
when this ends, also when the program fails or hangs.

    under_weston.py [--scale N] [--timeout SECONDS] -- PROGRAM [ARGUMENTS...]
"""

import argparse
import ctypes
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SOCKET = "wayland-lumivert"
PR_SET_PDEATHSIG = 1


def end_with_this_process():
    # The compositor ends even when this process is killed (by CTest's time-out, say).
    ctypes.CDLL(None, use_errno=True).prctl(PR_SET_PDEATHSIG, signal.SIGKILL)


def start_compositor(runtime, scale):
    log = open(os.path.join(runtime, "weston.log"), "w")
    return subprocess.Popen(
        ["weston", "--backend=headless-backend.so", f"--socket={SOCKET}", "--use-pixman",
         "--width=1280", "--height=800", f"--scale={scale}", "--no-config", "--idle-time=0"],
        env=dict(os.environ, XDG_RUNTIME_DIR=runtime), stdin=subprocess.DEVNULL, stdout=log,
        stderr=subprocess.STDOUT, preexec_fn=end_with_this_process)


def wait_for_socket(runtime, compositor, limit):
    deadline = time.monotonic() + limit
    while not os.path.exists(os.path.join(runtime, SOCKET)):
        if compositor.poll() is not None or time.monotonic() > deadline:
            return False
        time.sleep(0.05)
    return True


def run(command, env, limit):
    # A session of its own, so that a program past its time is ended with its children.
    program = subprocess.Popen(command, env=env, start_new_session=True)
    try:
        return program.wait(timeout=limit)
    except subprocess.TimeoutExpired:
        os.killpg(program.pid, signal.SIGKILL)
        program.wait()
        print(f"under_weston: {command[0]} did not end within {limit:g} s", file=sys.stderr)
        return 1


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--scale", type=int, default=1)
    parser.add_argument("--timeout", type=float, default=150)
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    if not command:
        parser.error("no program to run")
    if shutil.which("weston") is None:
        print("under_weston: weston is not installed (scripts/setup-debian.sh installs it)", file=sys.stderr)
        return 1

    runtime = tempfile.mkdtemp(prefix="lumivert-wayland-")  # mode 0700, as Wayland wants
    compositor = None
    try:
        compositor = start_compositor(runtime, args.scale)
        if not wait_for_socket(runtime, compositor, 20):
            with open(os.path.join(runtime, "weston.log")) as log:
                sys.stderr.write(log.read())
            print("under_weston: the compositor did not start", file=sys.stderr)
            return 1
        # The socket by its full path: a program that gives its children a runtime folder
        # of their own still reaches the compositor.
        env = dict(os.environ, XDG_RUNTIME_DIR=runtime, WAYLAND_DISPLAY=os.path.join(runtime, SOCKET),
                   QT_QPA_PLATFORM="wayland")
        env.pop("DISPLAY", None)
        return run(command, env, args.timeout)
    finally:
        if compositor is not None:
            compositor.terminate()
            try:
                compositor.wait(timeout=5)
            except subprocess.TimeoutExpired:
                compositor.kill()
                compositor.wait()
        shutil.rmtree(runtime, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
