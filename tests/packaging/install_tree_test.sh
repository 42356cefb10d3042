#!/usr/bin/env bash
# install_tree_test.sh BUILD_DIR
# Installs the build into a temporary prefix and runs it there as a user
# would: ostrel keeps its files in the per-user folder (and makes its
# "files" folder), writes nothing into the prefix, ostrel-demo starts the
# simulated panel, points Ostrel at it with settings of its own, and stops
# the simulator when the window closes, and ostrel-cli runs with its manual.
set -uo pipefail
build=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
status=0
fail() { echo "FAIL: $*"; status=1; }

cmake --install "$build" --prefix "$tmp/usr" >/dev/null || { echo "FAIL: cmake --install"; exit 1; }
mkdir -p "$tmp/home"
before=$(cd "$tmp/usr" && find . | sort)
run() {
  # A clean environment, but a sanitizer build keeps its options.
  env -i HOME="$tmp/home" PATH=/usr/bin:/bin LANG=C.UTF-8 QT_QPA_PLATFORM=offscreen OSTREL_QUIT_AFTER_SHOW=1 \
    TMPDIR="$tmp" ASAN_OPTIONS="${ASAN_OPTIONS:-}" UBSAN_OPTIONS="${UBSAN_OPTIONS:-}" timeout 60 "$@"
}

run "$tmp/usr/bin/ostrel" >"$tmp/ostrel.log" 2>&1 || { cat "$tmp/ostrel.log"; fail "the installed ostrel"; }
cfg=$tmp/home/.config/ostrel
[ -d "$cfg/files" ] || fail "no per-user folder with its files folder"
[ -f "$cfg/ostrel.ini" ] || fail "closing did not write the per-user settings"
grep -q "^Dir=$cfg/" "$cfg/ostrel.ini" || fail "the CSV start folder is not the per-user folder"
[ -f "$tmp/usr/share/ostrel/manual/index.html" ] || fail "the user manual is not installed"

run "$tmp/usr/bin/ostrel-demo" >"$tmp/demo.log" 2>&1 || { cat "$tmp/demo.log"; fail "ostrel-demo"; }
demo=$cfg/demo
[ -f "$demo/ostrel.ini" ] || fail "ostrel-demo has no settings of its own"
tr -d '\r' <"$demo/ostrel.ini" | grep -A4 '^\[Modbus port\]' | grep -q '^Name=COM2$' ||
  fail "ostrel-demo's Modbus link is not on COM2"
[ -d "$demo/files" ] || fail "ostrel-demo has no files folder"
left=$(find "$tmp" -maxdepth 1 -name 'ostrel-demo.*')
[ -z "$left" ] || fail "ostrel-demo left its link folder $left"
if pgrep -f "$tmp/usr/share/ostrel/qvsim" >/dev/null; then fail "the simulator outlived ostrel-demo"; fi

[ -f "$tmp/usr/share/man/man1/ostrel-cli.1.gz" ] || fail "ostrel-cli's manual page is not installed"
for schema in scan read-record; do
  [ -f "$tmp/usr/share/ostrel/schemas/$schema.schema.json" ] || fail "the JSON Schema $schema.schema.json is not installed"
done
run "$tmp/usr/bin/ostrel-cli" --help >"$tmp/cli.log" 2>&1 || { cat "$tmp/cli.log"; fail "the installed ostrel-cli --help"; }
grep -q "^Usage: ostrel-cli COMMAND" "$tmp/cli.log" || fail "ostrel-cli --help does not show its usage"
run "$tmp/usr/bin/ostrel-cli" ports >"$tmp/cli.log" 2>&1 || { cat "$tmp/cli.log"; fail "the installed ostrel-cli ports"; }
grep -q "^Device map $tmp/home/.config/ostrel/ports:" "$tmp/cli.log" ||
  { cat "$tmp/cli.log"; fail "ostrel-cli ports does not list the user's device map"; }

[ -f "$tmp/usr/share/man/man1/ostrel-monitor.1.gz" ] || fail "ostrel-monitor's manual page is not installed"
[ -f "$tmp/usr/lib/systemd/system/ostrel-monitor@.service" ] || fail "ostrel-monitor's unit is not installed"
for schema in status registers device event command command-result; do
  [ -f "$tmp/usr/share/ostrel/schemas/monitor/$schema.schema.json" ] || fail "the monitor's $schema.schema.json is not installed"
done
run "$tmp/usr/bin/ostrel-monitor" --help >"$tmp/monitor.log" 2>&1 || { cat "$tmp/monitor.log"; fail "ostrel-monitor --help"; }
grep -q "^Usage: ostrel-monitor" "$tmp/monitor.log" || fail "ostrel-monitor --help does not show its usage"

after=$(cd "$tmp/usr" && find . | sort)
[ "$before" = "$after" ] || { diff <(echo "$before") <(echo "$after"); fail "running wrote into the prefix"; }
exit $status
