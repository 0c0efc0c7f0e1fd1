#!/usr/bin/env bash
# Proves that the README's two commands work on a fresh Debian 12.
#
# Builds a clean bookworm root with debootstrap (minimal variant: no sudo, no certificates,
# no locales, no X), clones this repository's HEAD into it, and runs there, as root:
#   1. scripts/test.sh                      set-up, build, every test
#   2. scripts/run.sh under xvfb-run        set-up, build, start; waits for the window
#   3. cmake --install, then the installed desktop entry started with gio; waits again
# and reports what failed, with the lines of the log that name what was missing.
#
# Slow (a package download on the first run, then a full build): run it by hand, as root.
# It does not run in CI. Only committed work is checked: the clone is of HEAD.
#
# Usage: scripts/check-fresh-debian.sh [--keep]
#   --keep               leave the root in place afterwards (for a look inside with chroot)
#   LUMIVERT_FRESH_DIR   where the root, the package cache and the logs live
#                        (default /var/tmp/lumivert-fresh; never inside the repository)
#   LUMIVERT_MIRROR      Debian mirror (default: the one this machine's apt uses)
#   LUMIVERT_WINDOW_WAIT seconds to wait for the window (default 300)
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
work=${LUMIVERT_FRESH_DIR:-/var/tmp/lumivert-fresh}
suite=bookworm
variant=minbase
window_wait=${LUMIVERT_WINDOW_WAIT:-300}
window_caption="BMPを指定画像に変換する？"
keep=0
[ "${1:-}" = "--keep" ] && keep=1

root=$work/root
tarball=$work/$suite-$variant-$(dpkg --print-architecture).tar.gz
logs=$work/logs
clone=/root/lumivert

say() { printf 'fresh-debian: %s\n' "$*"; }
die() { say "$*" >&2; exit 2; }

[ "$(id -u)" -eq 0 ] || die "run me as root (debootstrap, mount and chroot need it)"
case "$work/" in "$repo"/*) die "LUMIVERT_FRESH_DIR must lie outside the repository" ;; esac

# The mirrors this machine's apt already uses (archive NAME), from either source format.
host_mirror() {
  local uri
  uri=$(grep -hsE '^\s*(deb\s|URIs:)' /etc/apt/sources.list /etc/apt/sources.list.d/*.list \
          /etc/apt/sources.list.d/*.sources |
        grep -oE "https?://[^ ]+/$1/?( |\$)" | head -n1 | tr -d ' ')
  uri=${uri:-$2}
  echo "${uri%/}"
}
mirror=${LUMIVERT_MIRROR:-$(host_mirror debian http://deb.debian.org/debian)}
security_mirror=$(host_mirror debian-security http://security.debian.org/debian-security)

# --- mounts: every mount below the root goes, deepest first, whatever way we leave -------
mounts_below_root() {
  awk -v r="$root" '$5 == r || index($5, r "/") == 1 { print $5 }' /proc/self/mountinfo |
    sort -r
}

# Processes left inside the root (a browser, Xvfb) would keep its mounts busy.
stop_processes_in_root() {
  local p
  for p in /proc/[0-9]*; do
    [ "$(readlink "$p/root" 2>/dev/null)" = "$root" ] && kill -KILL "${p#/proc/}" 2>/dev/null
  done
  return 0
}

unmount_root() {
  local m
  stop_processes_in_root
  for m in $(mounts_below_root); do
    umount "$m" 2>/dev/null || umount -l "$m" || say "could not unmount $m"
  done
}

remove_root() {
  unmount_root
  [ -z "$(mounts_below_root)" ] || die "still mounted below $root; not removing it"
  rm -rf --one-file-system "$root"
}

on_exit() {
  local status=$?
  unmount_root
  if [ "$keep" -eq 0 ] && [ -d "$root" ]; then remove_root; fi
  exit "$status"
}
trap on_exit EXIT
trap 'exit 130' INT TERM

mount_root() {
  mount -t proc proc "$root/proc"
  mount -t sysfs sysfs "$root/sys"
  mount --bind /dev "$root/dev"
  mount --make-rslave "$root/dev"   # nothing mounted below it reaches the host's /dev
  mount --bind /dev/pts "$root/dev/pts"
  mount -t tmpfs -o mode=1777,nosuid,nodev shm "$root/dev/shm"   # the browser needs it
  mount -t tmpfs -o mode=1777 tmp "$root/tmp"
  mount --bind "$work/apt-archives" "$root/var/cache/apt/archives"
}

# --- the root ---------------------------------------------------------------------------
mkdir -p "$work" "$logs"
rm -f "$logs"/*.log "$logs"/*.png

if ! command -v debootstrap >/dev/null; then
  say "installing debootstrap"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends debootstrap \
    >"$logs/debootstrap.log" 2>&1 || die "could not install debootstrap (see $logs/debootstrap.log)"
fi

if [ ! -s "$tarball" ]; then
  say "downloading the $suite $variant packages from $mirror (once; cached in $tarball)"
  rm -rf --one-file-system "$work/download"
  debootstrap --variant=$variant --make-tarball="$tarball.part" $suite "$work/download" "$mirror" \
    >>"$logs/debootstrap.log" 2>&1 || die "debootstrap --make-tarball failed (see $logs/debootstrap.log)"
  mv "$tarball.part" "$tarball"
  rm -rf --one-file-system "$work/download"
fi

[ -d "$root" ] && remove_root
say "building a clean $suite root in $root"
debootstrap --variant=$variant --unpack-tarball="$tarball" $suite "$root" "$mirror" \
  >>"$logs/debootstrap.log" 2>&1 || die "debootstrap failed (see $logs/debootstrap.log)"

# What a fresh installation's apt knows: the release, its updates and security fixes.
cat >"$root/etc/apt/sources.list" <<EOF
deb $mirror $suite main
deb $mirror $suite-updates main
deb $security_mirror $suite-security main
EOF
cp /etc/resolv.conf "$root/etc/resolv.conf"
# Speed only, nothing the project could come to rely on: dpkg skips its fsyncs, and the
# downloaded packages are kept for the next run (bind-mounted below).
echo force-unsafe-io >"$root/etc/dpkg/dpkg.cfg.d/fresh-check-unsafe-io"
mkdir -p "$work/apt-archives/partial"
[ -s "$root/etc/hosts" ] || printf '127.0.0.1\tlocalhost\n::1\t\tlocalhost\n' >"$root/etc/hosts"

head=$(git -C "$repo" rev-parse HEAD)
[ -z "$(git -C "$repo" status --porcelain --untracked-files=no)" ] ||
  say "note: uncommitted changes are not part of the check (only HEAD is cloned)"
say "cloning $(git -C "$repo" rev-parse --short HEAD) into $clone"
git clone --quiet --no-checkout "$repo" "$root$clone"
git -C "$root$clone" checkout --quiet --detach "$head"

mount_root

# A login shell's clean environment: nothing from this machine leaks in.
in_root() {
  chroot "$root" /usr/bin/env -i HOME=/root TERM=dumb \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    /bin/bash -c "cd $clone && $1"
}

# The lines of a log that name what was missing or what broke.
what_was_missing() {
  grep -aE 'command not found|not found|No such file|Could NOT find|Unable to locate|cannot open|[Ee]rror|FAILED|Failed|\(Failed\)|tests failed' "$1" |
    grep -vE '^\s*$|^(Get|Selecting|Preparing|Unpacking|Setting up|Processing)|^\s+lib|^\s*Start +[0-9]+:| Passed ' |
    sort -u | head -n 40 | sed 's/^/    /'
}

results=()
record() { results+=("$(printf '%-34s %s' "$1" "$2")"); }

# --- 1. scripts/test.sh ---------------------------------------------------------------
say "running scripts/test.sh (log: $logs/test.log)"
if in_root "scripts/test.sh" >"$logs/test.log" 2>&1; then
  record "scripts/test.sh" "passed ($(grep -aoE '[0-9]+% tests passed.*' "$logs/test.log" | tail -n1))"
  test_ok=1
else
  record "scripts/test.sh" "FAILED (exit $?)"
  test_ok=0
fi
grep -a '^setup: installing' "$logs/test.log" | sed 's/^/    /' || true

# --- 2. scripts/run.sh under Xvfb, 3. the installed desktop entry ----------------------
# The tools that watch for the window are the check's own, not the program's: they are
# installed only now, after the program's own set-up has run.
say "installing the check's own window tools (xdotool, x11-utils, gio)"
in_root "apt-get install -y -q --no-install-recommends xdotool x11-utils libglib2.0-bin" \
  >"$logs/window-tools.log" 2>&1 || say "could not install the window tools (see $logs/window-tools.log)"

cat >"$root/tmp/watch-window.sh" <<'EOF'
#!/bin/bash
# watch-window.sh SECONDS CAPTION SHOT COMMAND...: runs COMMAND and waits for Lumivert's
# window. Prints "WINDOW <program> with its icon: <name>", "PLACEHOLDER", "EXITED <status>" or "NO-WINDOW".
wait_secs=$1 caption=$2 shot=$3
shift 3
"$@" >>/tmp/window-command.log 2>&1 &
pid=$!
for ((waited = 0; waited < wait_secs; waited++)); do
  id=$(xdotool search --onlyvisible --class lumivert 2>/dev/null | head -n1)
  if [ -n "$id" ]; then
    sleep 2; import -window root "$shot" 2>/dev/null
    name=$(xdotool getwindowname "$id")
    icon="without an icon"
    xprop -id "$id" _NET_WM_ICON | grep -q 'Icon (' && icon="with its icon"
    program_pid=$(xdotool getwindowpid "$id")
    program=$(readlink "/proc/$program_pid/exe")
    kill "$program_pid"
    case "$name" in *"$caption"*) echo "WINDOW $program $icon: $name"; exit 0 ;; esac
    echo "WRONG-WINDOW $name"; exit 1
  fi
  if [ -n "$pid" ] && ! kill -0 "$pid" 2>/dev/null; then
    wait "$pid"; status=$?; pid=""
    # A build without the window ends at once after saying what it built.
    grep -q 'the window is not part of this build' /tmp/window-command.log &&
      { echo PLACEHOLDER; exit 0; }
    # A launcher ends once it has started the program: keep watching.
    [ $status -eq 0 ] || { echo "EXITED $status"; exit 1; }
  fi
  sleep 1
done
echo "NO-WINDOW after ${wait_secs}s"
exit 1
EOF
chmod +x "$root/tmp/watch-window.sh"

# watch_window STEP-NAME LOG SHOT COMMAND: runs COMMAND inside the root under xvfb-run.
watch_window() {
  local step=$1 log=$2 shot=$3 command=$4 verdict
  if ! in_root "command -v xvfb-run >/dev/null"; then
    record "$step" "NOT RUN: xvfb-run is missing (the set-up did not install xvfb)"
    return 1
  fi
  rm -f "$root/tmp/window-command.log"
  verdict=$(in_root "xvfb-run -a -s '-screen 0 1280x1024x24' /tmp/watch-window.sh $window_wait '$window_caption' /tmp/$shot $command" 2>>"$log" || true)
  cat "$root/tmp/window-command.log" >>"$log" 2>/dev/null || true
  [ -f "$root/tmp/$shot" ] && cp "$root/tmp/$shot" "$logs/$shot"
  case "$verdict" in
    WINDOW*)
      verdict=${verdict#WINDOW }
      record "$step" "passed: ${verdict%%: *}: \"${verdict#*: }\" (screen: $logs/$shot)" ;;
    PLACEHOLDER)
      record "$step" "passed: built; the program has no window yet: $(tail -n1 "$log")"
      placeholder=1 ;;
    *)
      record "$step" "FAILED: ${verdict:-no verdict}"
      return 1 ;;
  esac
}

say "running scripts/run.sh under xvfb-run (log: $logs/run.log)"
run_ok=1 placeholder=0
watch_window "scripts/run.sh under Xvfb" "$logs/run.log" window.png scripts/run.sh || run_ok=0

say "installing for root with cmake --install and starting the desktop entry (log: $logs/install.log)"
install_ok=1
if [ $placeholder -eq 1 ]; then
  record "installed desktop entry" "not run: the program has no window yet"
elif in_root "cmake --install build/default" >"$logs/install.log" 2>&1; then
  entry=/root/.local/share/applications/lumivert.desktop
  in_root "desktop-file-validate $entry" >>"$logs/install.log" 2>&1 ||
    { record "desktop entry" "FAILED: desktop-file-validate"; install_ok=0; }
  watch_window "installed desktop entry (gio launch)" "$logs/install.log" installed-window.png \
    "gio launch $entry" || install_ok=0
else
  record "cmake --install" "FAILED (exit $?)"
  install_ok=0
fi

# --- report ----------------------------------------------------------------------------
echo
say "result for $(git -C "$repo" log -1 --format='%h %s' "$head") on $(date -u '+%Y-%m-%d %H:%M UTC')"
printf '  %s\n' "${results[@]}"
for step in test run install; do
  ok_var=${step}_ok
  if [ "${!ok_var}" -eq 0 ]; then
    echo "  what the $step log names as missing or broken ($logs/$step.log):"
    what_was_missing "$logs/$step.log" || true
  fi
done
[ "$test_ok" -eq 1 ] && [ "$run_ok" -eq 1 ] && [ "$install_ok" -eq 1 ]
