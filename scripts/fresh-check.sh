#!/usr/bin/env bash
# The fresh-machine check: the README's two commands on a new Debian 12 machine.
#
#   bash scripts/fresh-check.sh [--rev REV] [--keep-going]
#
# Makes (once, then keeps) a minimal Debian 12 root, and for each check lays a throw-away
# overlay over it inside its own mount and PID namespaces, so that mounts and leftover
# processes (simulator, X clients) vanish with it. In the overlay it clones the commit under
# test (HEAD, or REV), creates an ordinary user with password-less sudo as a desktop install
# would, and as that user runs:
#   1. the test command, `bash scripts/test.sh`: must pass;
#   2. the run command, `bash scripts/run.sh`, on an X server with OSTREL_QUIT_AFTER_SHOW=1:
#      the window must open and close.
# When the tree has scripts/package.sh and scripts/package-check.sh, it then builds the
# package as that user and checks it as root in a second, clean overlay.
#
# Needs root (CI runs as root). The base root, its apt archive cache and the logs live in
# $OSTREL_FRESH_DIR (default /var/cache/ostrel-fresh); the base root is made again when it is
# older than a week or its recipe changed.
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
rev=HEAD
while [ $# -gt 0 ]; do
  case "$1" in
    --rev) rev=$2; shift 2 ;;
    *) echo "fresh-check: unknown option $1" >&2; exit 2 ;;
  esac
done

fail() { echo "fresh-check: FAILED: $*" >&2; exit 1; }
say() { echo "fresh-check: $*"; }
[ "$(id -u)" -eq 0 ] || fail "must run as root (it makes a Debian root and mounts in it)"

bash "$top/scripts/setup.sh" --ci >/dev/null || fail "could not install the check's own tools (mmdebstrap, xvfb)"

cache=${OSTREL_FRESH_DIR:-/var/cache/ostrel-fresh}
mkdir -p "$cache/archives/partial"
commit=$(git -C "$top" rev-parse --verify "$rev^{commit}") || fail "no such commit: $rev"

# The host's Debian sources and the apt options that reach the package registry.
sources=()
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.sources /etc/apt/sources.list.d/*.list; do
  [ -s "$f" ] && grep -q bookworm "$f" && sources+=("$f")
done
[ "${#sources[@]}" -gt 0 ] || fail "no Debian 12 (bookworm) apt sources on this machine"
aptopts=()
for f in /etc/apt/apt.conf.d/*; do
  [ -f "$f" ] && grep -q '^[[:space:]]*Acquire::' "$f" && aptopts+=("--aptopt=$f")
done

recipe="variant=important include=sudo $(cat "${sources[@]}" | sha1sum | cut -c1-12)"
base="$cache/root"
if [ -d "$base" ] && [ "$(cat "$cache/root.recipe" 2>/dev/null)" = "$recipe" ] &&
   [ -z "$(find "$cache/root.recipe" -mtime +7)" ]; then
  say "base root kept from $(date -r "$cache/root.recipe" '+%F %T')"
else
  say "making a Debian 12 root (mmdebstrap)"
  rm -rf "$base" "$base.new" "$cache/root.recipe"
  t0=$SECONDS
  if ! mmdebstrap --variant=important --include=sudo "${aptopts[@]}" bookworm "$base.new" \
      "${sources[@]}" >"$cache/mmdebstrap.log" 2>&1; then
    tail -n 20 "$cache/mmdebstrap.log" >&2
    rm -rf "$base.new"
    fail "root creation (mmdebstrap; log in $cache/mmdebstrap.log)"
  fi
  mv "$base.new" "$base"
  echo "$recipe" >"$cache/root.recipe"
  say "root made in $((SECONDS - t0)) s ($(du -sh "$base" | cut -f1))"
fi

work=$(mktemp -d "$cache/run.XXXXXX")
xvfb_pid=""
ns_pid=""
cleanup() {
  local rc=$?
  set +e
  trap - EXIT INT TERM
  # Killing unshare kills the namespace's first process, and with it every process inside;
  # the namespace's mounts go with them.
  if [ -n "$ns_pid" ]; then kill -KILL "$ns_pid" 2>/dev/null; wait "$ns_pid" 2>/dev/null; fi
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; fi
  rm -rf "$work"
  exit "$rc"
}
trap cleanup EXIT
trap 'echo "fresh-check: interrupted" >&2; exit 130' INT TERM

# The commit under test, as the user's clone.
git clone -q --no-hardlinks "$top" "$work/ostrel" || fail "cloning the commit under test"
git -C "$work/ostrel" checkout -q --detach "$commit" || fail "checking out $commit"

# An X server on the host: the run command needs a display, as on a desktop. Clients in the
# root reach it through its abstract socket (the network namespace is shared).
Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
[ -s "$work/display" ] || fail "the X server (Xvfb) did not start: $(tail -n 3 "$work/xvfb.log")"
display=:$(cat "$work/display")

# Runs "$@" inside a new overlay of the base root, in new mount and PID namespaces; the
# overlay's changes go to $work/$name. Kills everything left inside when it returns.
in_root() {
  local name=$1; shift
  mkdir -p "$work/$name/upper" "$work/$name/work" "$work/$name/merged"
  unshare --mount --pid --fork --kill-child bash "$top/scripts/fresh-enter.sh" \
    "$base" "$work/$name" "$cache/archives" "$work/ostrel" "$display" "$@" &
  ns_pid=$!
  local rc=0
  wait "$ns_pid" || rc=$?
  ns_pid=""
  return $rc
}

user=engineer
as_user() { printf 'runuser -l %s -c %q' "$user" "export LANG=C.UTF-8; $1"; }
setup_user="useradd -m -s /bin/bash -G sudo $user &&
  echo '$user ALL=(ALL) NOPASSWD:ALL' >/etc/sudoers.d/$user && chmod 0440 /etc/sudoers.d/$user &&
  echo 'LANG=C.UTF-8' >/etc/default/locale &&
  cp -a /mnt/ostrel /home/$user/ostrel && chown -R $user:$user /home/$user/ostrel"

t0=$SECONDS
say "test command as an ordinary user: bash scripts/test.sh (log: test.log)"
if ! in_root main bash -c "$setup_user && $(as_user "cd ~/ostrel && bash scripts/test.sh")" \
    >"$cache/test.log" 2>&1; then
  # What failed, in words: apt's and the compiler's errors, the distinct error lines the
  # tests printed, and ctest's summary.
  grep -E '^(E: |setup:)|error:|Error [0-9]|ModuleNotFoundError|Traceback' "$cache/test.log" |
    sort | uniq -c | sort -rn | head -n 12 >&2 || true
  sed -n '/tests passed\|tests failed/,$p' "$cache/test.log" | head -n 40 >&2
  fail "the test command (setup, build or tests; full log in $cache/test.log)"
fi
grep -E 'tests passed|tests failed' "$cache/test.log" || true
say "test command passed in $((SECONDS - t0)) s"

t0=$SECONDS
say "run command as that user on an X server: bash scripts/run.sh (log: run.log)"
if ! in_root main bash -c "$(as_user "cd ~/ostrel && DISPLAY=$display OSTREL_QUIT_AFTER_SHOW=1 timeout 300 bash scripts/run.sh")" \
    >"$cache/run.log" 2>&1; then
  tail -n 30 "$cache/run.log" >&2
  fail "the run command (the window did not open and close; full log in $cache/run.log)"
fi
say "run command opened and closed the window in $((SECONDS - t0)) s"

if [ -f "$work/ostrel/scripts/package.sh" ] && [ -f "$work/ostrel/scripts/package-check.sh" ]; then
  t0=$SECONDS
  say "package: built as that user, installed as root in a clean root (log: package.log)"
  if ! in_root main bash -c "$(as_user "cd ~/ostrel && bash scripts/package.sh")" >"$cache/package.log" 2>&1; then
    tail -n 30 "$cache/package.log" >&2
    fail "building the package (full log in $cache/package.log)"
  fi
  deb=$(find "$work/main/upper/home/$user/ostrel/dist" -maxdepth 1 -name 'ostrel_*.deb' 2>/dev/null | sort | tail -n 1)
  [ -n "$deb" ] || fail "scripts/package.sh left no dist/ostrel_*.deb"
  cp "$deb" "$work/ostrel/"
  if ! in_root pkg bash /mnt/ostrel/scripts/package-check.sh "/mnt/ostrel/$(basename "$deb")" \
      >>"$cache/package.log" 2>&1; then
    tail -n 30 "$cache/package.log" >&2
    fail "the installed package (full log in $cache/package.log)"
  fi
  say "package $(basename "$deb") installed and checked in $((SECONDS - t0)) s"
fi
say "passed"
