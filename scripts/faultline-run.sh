#!/usr/bin/env bash
# A long run of Ostrel over tools/faultline.
#
# By default ostrel-cli: first `scan --strict-checksum` repeated against the
# simulated panel, then `read --every 0.1 --reconnect` against the pymodbus
# slave, each for half the time. Prints a table: faults injected by kind,
# replies rejected, error lines, rows written (and rows that differ from a
# clean line's: there must be none), exit codes, and the polling CLI's open
# fds and RSS a few seconds in and at the end.
#
# With --window the real window (offscreen) instead, through the window test
# of tests/app_faultline run for the whole time: the scan repeated while the
# automatic read-out runs every second. It prints faults by kind, replies
# rejected and dropped, log lines, rows written (and wrong ones: there must be
# none), the longest delay of a key press (judged against 100 ms), and
# threads/fds/RSS after the first part and at the end.
#
#   scripts/faultline-run.sh [--window] [--minutes 3] [--seed 1] [--build build]
#
# It takes CPU for the whole time: on a shared machine run it under the build
# lock, e.g. flock /tmp/ostrel-build.lock scripts/faultline-run.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
MINUTES=3 SEED=1 BUILD=build WINDOW=0
while [ $# -gt 0 ]; do
  case "$1" in
    --window) WINDOW=1; shift ;;
    --minutes) MINUTES="$2"; shift 2 ;;
    --seed) SEED="$2"; shift 2 ;;
    --build) BUILD="$2"; shift 2 ;;
    *) echo "usage: $0 [--window] [--minutes M] [--seed N] [--build DIR]" >&2; exit 2 ;;
  esac
done

if [ "$WINDOW" = 1 ]; then
  TEST="$BUILD/tests/app_faultline/app_faultline_tests"
  [ -x "$TEST" ] || { echo "no $TEST: build app_faultline_tests (with the window)" >&2; exit 2; }
  OUT="$(mktemp "${TMPDIR:-/tmp}/faultline-window.XXXXXX")"
  trap 'rm -f "$OUT"' EXIT
  code=0
  FAULTLINE_WINDOW_SECONDS=$(python3 -c "print(max(20, int(float('$MINUTES') * 60)))") FAULTLINE_SEED="$SEED" \
    OSTREL_SOURCE_DIR="$PWD" "$TEST" --gtest_filter='WindowFaultLine.ScanAndAutomatic*' >"$OUT" 2>&1 || code=$?
  grep -E '^\[ faultline \]|Failure|Expected|Which is|actual' "$OUT" || true
  delay=$(sed -n 's/.*longest input delay \([0-9]*\) ms.*/\1/p' "$OUT")
  if [ -z "$delay" ]; then
    echo "the run printed no figures (exit $code):"; tail -30 "$OUT"; exit 1
  fi
  if [ "$delay" -lt 100 ]; then echo "input answered within 100 ms throughout: yes ($delay ms)"
  else echo "input answered within 100 ms throughout: NO ($delay ms)"; code=1; fi
  [ "$code" = 0 ] && echo "checks: passed" || echo "checks: FAILED (exit $code)"
  exit "$code"
fi

CLI="$BUILD/cli/ostrel-cli"
[ -x "$CLI" ] || CLI="$(find "$BUILD" -name ostrel-cli -type f -perm -u+x | head -1)"
[ -x "$CLI" ] || { echo "no ostrel-cli under $BUILD" >&2; exit 2; }
HALF=$(python3 -c "print(max(10, int(float('$MINUTES') * 30)))")
WORK="$(mktemp -d "${TMPDIR:-/tmp}/faultline-run.XXXXXX")"
export OSTREL_DEVICE_DIR="$WORK"
PIDS=()
stop_all() {
  # Only what this script started, newest first.
  for ((i = ${#PIDS[@]} - 1; i >= 0; i--)); do
    kill "${PIDS[i]}" 2>/dev/null || true
    wait "${PIDS[i]}" 2>/dev/null || true
  done
  PIDS=()
}
trap 'stop_all; rm -rf "$WORK"' EXIT
first_line() {  # waits for the first line of a file
  for _ in $(seq 200); do [ -s "$1" ] && { head -1 "$1"; return; }; sleep 0.05; done
  echo "nothing in $1" >&2; exit 1
}
wait_link() { for _ in $(seq 200); do [ -e "$1" ] && return; sleep 0.05; done; echo "no $1" >&2; exit 1; }

SCAN_FAULTS=(--flip 0.003 --drop 0.001 --dup 0.001 --noise 0.001 --split 0.3 --delay 30
             --stall 0.01 --stall-ms 700 --hangup 0.005 --hangup-ms 300)
READ_FAULTS=(--flip 0.002 --drop 0.001 --dup 0.001 --noise 0.001 --split 0.3 --delay 20
             --stall 0.01 --stall-ms 1500 --hangup 0.003 --hangup-ms 400)

# --- scan, repeated ---
python3 tools/qvsim --link-dir "$WORK" >"$WORK/qvsim.out" & PIDS+=($!)
PANEL="$(first_line "$WORK/qvsim.out")"
wait_link "$WORK/COM1"
"$CLI" scan --port COM1 -q >"$WORK/clean.csv"
python3 tools/faultline --peer "$PANEL" --link-dir "$WORK" --name COM5 --seed "$SEED" \
  --log "$WORK/scan-faults.jsonl" "${SCAN_FAULTS[@]}" >"$WORK/fl-scan.out" 2>/dev/null & PIDS+=($!)
wait_link "$WORK/COM5"
END=$((SECONDS + HALF))
: >"$WORK/scan-codes"; : >"$WORK/scan.csv"; : >"$WORK/scan.err"
while [ $SECONDS -lt $END ]; do
  code=0
  timeout -s KILL 30 "$CLI" scan --port COM5 --strict-checksum --timeout 400 --retries 1 \
    >"$WORK/run.csv" 2>"$WORK/run.err" || code=$?
  echo "$code" >>"$WORK/scan-codes"
  cat "$WORK/run.csv" >>"$WORK/scan.csv"
  cat "$WORK/run.err" >>"$WORK/scan.err"
  # A pulled port comes back under its name: scan again once it is there.
  if [ "$code" = 3 ]; then
    for _ in $(seq 60); do [ -e "$WORK/COM5" ] && break; sleep 0.05; done
  fi
done
stop_all

# --- read --every, reconnecting ---
socat "pty,raw,echo=0,link=$WORK/COM2" "pty,raw,echo=0,link=$WORK/slave" & PIDS+=($!)
wait_link "$WORK/COM2"; wait_link "$WORK/slave"
/usr/bin/python3 tests/e2e/modbus_slave.py --port "$WORK/slave" --input-count 200 >"$WORK/slave.out" & PIDS+=($!)
first_line "$WORK/slave.out" >/dev/null
"$CLI" read --port COM2 --count 10 --format jsonl >"$WORK/clean.jsonl"
python3 tools/faultline --peer "$WORK/COM2" --link-dir "$WORK" --name COM6 --seed "$SEED" \
  --log "$WORK/read-faults.jsonl" "${READ_FAULTS[@]}" >"$WORK/fl-read.out" 2>/dev/null & PIDS+=($!)
wait_link "$WORK/COM6"
"$CLI" read --port COM6 --count 10 --every 0.1 --for "${HALF}s" --reconnect --retries 1 --format jsonl \
  >"$WORK/read.jsonl" 2>"$WORK/read.err" & READER=$!
sample() { echo "$(ls "/proc/$READER/fd" 2>/dev/null | wc -l) $(awk '/^VmRSS/ {print $2}' "/proc/$READER/status" 2>/dev/null)"; }
sleep 3; START_SAMPLE="$(sample)"; END_SAMPLE="$START_SAMPLE"
while kill -0 "$READER" 2>/dev/null; do
  s="$(sample)"; [ -n "${s#* }" ] && END_SAMPLE="$s"
  sleep 0.5
done
code=0; wait "$READER" || code=$?
echo "$code" >"$WORK/read-code"
stop_all

python3 - "$WORK" "$START_SAMPLE" "$END_SAMPLE" <<'EOF'
import collections, json, re, sys
work, start, end = sys.argv[1], sys.argv[2].split(), sys.argv[3].split()
def faults(name):
    c = collections.Counter()
    for line in open(f"{work}/{name}", encoding="utf-8"):
        r = json.loads(line)
        if r["kind"] not in ("start", "summary", "back"):
            c[r["kind"]] += 1
    return c
def text(name): return open(f"{work}/{name}", encoding="utf-8", errors="replace").read()
scan_f, read_f = faults("scan-faults.jsonl"), faults("read-faults.jsonl")
kinds = ["drop", "dup", "flip", "noise", "split", "delay", "stall", "hangup"]
clean = set(open(f"{work}/clean.csv", "rb").read().split(b"\r\n")) - {b""}
rows = [r for r in open(f"{work}/scan.csv", "rb").read().split(b"\r\n") if r]
codes = collections.Counter(int(x) for x in text("scan-codes").split())
err = text("scan.err").splitlines()
rejected = [l for l in err if re.search(r"frame is broken|bad checksum|too short|refused|bad frame", l)]
no_reply = [l for l in err if "no reply" in l or "did not answer" in l]
late = [l for l in err if re.search(r"Late reply dropped|bytes after the reply dropped|a second answer came", l)]
good_body = lambda rec: rec[rec.find('"slave"'):]
clean_rec = good_body(text("clean.jsonl").splitlines()[0])
recs = text("read.jsonl").splitlines()
ok = [r for r in recs if '"ok": true' in r]
bad = [r for r in recs if '"ok": false' in r]
events = [r for r in recs if '"event"' in r]
rerr = text("read.err").splitlines()
print(f"{'':34}{'scan':>12}{'read --every':>14}")
for k in kinds:
    print(f"{'faults: ' + k:34}{scan_f[k]:>12}{read_f[k]:>14}")
print(f"{'runs / read-outs':34}{sum(codes.values()):>12}{len(ok) + len(bad):>14}")
print(f"{'exit codes':34}{' '.join(f'{c}x{n}' for c, n in sorted(codes.items())):>12}{text('read-code').strip():>14}")
print(f"{'replies rejected (checks)':34}{len(rejected):>12}{len(bad):>14}")
print(f"{'no reply in time':34}{len(no_reply):>12}{sum('no reply' in r for r in bad):>14}")
print(f"{'late or doubled answers dropped':34}{len(late):>12}{'':>14}")
print(f"{'error lines (stderr)':34}{sum('error:' in l for l in err):>12}{sum('error:' in l for l in rerr):>14}")
print(f"{'rows / good records written':34}{len(rows):>12}{len(ok):>14}")
print(f"{'  of them differing from clean':34}{sum(r not in clean for r in rows):>12}{sum(good_body(r) != clean_rec for r in ok):>14}")
print(f"{'port lost / back records':34}{'':>12}{len(events):>14}")
print(f"{'fds start -> end':34}{'':>12}{start[0] + ' -> ' + end[0]:>14}")
print(f"{'RSS kB start -> end':34}{'':>12}{start[1] + ' -> ' + end[1]:>14}")
EOF
