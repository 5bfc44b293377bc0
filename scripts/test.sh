#!/usr/bin/env bash
# Builds Tarvik and runs every test: the plain build, then ASan+UBSan with leak checks, then
# the threaded tests under TSan, then a benchmark growth check, then each fuzz target for a
# bounded time.
#   scripts/test.sh            everything (what CI runs)
#   scripts/test.sh --quick    the plain build only
# A stage that runs no test fails. Tests that skip because this clone lacks an input (the
# DBC corpus beside the checkout, ...) are named in the summary; with CI=true they fail.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

quick=0
[ "${1:-}" = "--quick" ] && quick=1
ci=0
[ "${CI:-}" = "true" ] && ci=1

bash scripts/install-deps.sh

jobs=$(nproc)
fuzz_seconds=${TARVIK_FUZZ_SECONDS:-20}
passed=0
failed=0
notrun=0
summary=()
status=0

# A compiler cache keyed on paths relative to the checkout, so a clone in another folder
# (another CI workspace, a second worktree) reuses what this one compiled.
launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=)
if command -v ccache >/dev/null 2>&1; then
  export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=1
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

# configure DIR [cmake args...]: configures one build tree with the shared settings.
configure() {
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja -DTARVIK_WERROR=ON "${launcher[@]}" "$@" >/dev/null
}

# report_skips XMLDIR: names the test cases GoogleTest skipped. Those whose reason starts
# with "not run:" lack an input this clone does not have; the others do not apply to this
# build (a sanitizer) and say why. Prints "missing N" last.
report_skips() {
  python3 - "$1" <<'EOF'
import glob, sys, xml.etree.ElementTree as ET
missing = 0
for f in sorted(glob.glob(sys.argv[1] + "/*.xml")):
    for case in ET.parse(f).iter("testcase"):
        skip = case.find("skipped")
        if skip is None:
            continue
        name = case.get("classname", "?") + "." + case.get("name", "?")
        lines = [l.strip() for l in (skip.get("message") or "").splitlines()] or [""]
        needs = [l for l in lines if l.startswith("not run:")]
        if needs:
            missing += 1
            print("NOT RUN " + name + " (" + needs[0][len("not run:"):].strip() + ")")
        else:
            print("skipped " + name + " (" + lines[-1] + ")")
print("missing %d" % missing)
EOF
}

# run_ctest DIR [ctest args...]: runs ctest, adds its counts to the totals and fails when
# no test ran, when one failed, or (with CI=true) when one lacked its input.
run_ctest() {
  local dir=$1; shift
  local log="$dir/ctest.log" xml rc=0
  xml="$(realpath -m "$dir")/gtest-xml"
  rm -rf "$xml"
  GTEST_OUTPUT="xml:$xml/" ctest --test-dir "$dir" --no-tests=error --output-on-failure -j "$jobs" "$@" 2>&1 \
    | tee "$log" || rc=$?
  [ "${PIPESTATUS[0]}" -ne 0 ] && rc=1
  local line total=0 bad=0
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -1 || true)
  if [ -n "$line" ]; then
    bad=$(sed -E 's/.*passed, ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$line")
    total=$(sed -E 's/.*passed, ([0-9]+) tests failed out of ([0-9]+).*/\2/' <<<"$line")
  fi
  if [ "$total" -eq 0 ]; then
    summary+=("  $dir: ran no test"); failed=$((failed + 1)); return 1
  fi
  passed=$((passed + total - bad))
  failed=$((failed + bad))
  summary+=("  $dir: $line")
  local skip missing=0
  while read -r skip; do
    case $skip in
      "missing "*) missing=${skip#missing } ;;
      *) summary+=("    $skip") ;;
    esac
  done < <(report_skips "$xml")
  notrun=$((notrun + missing))
  if [ "$missing" -gt 0 ] && [ $ci -eq 1 ]; then
    summary+=("    $missing test(s) not run: under CI=true that fails the run"); rc=1
  fi
  return $rc
}

# stage NAME FUNCTION [args...]: runs one stage and records its result and time.
stage() {
  local name=$1 start=$SECONDS result=ok; shift
  echo "== $name"
  local at=${#summary[@]}
  "$@" || { result=FAILED; status=1; }
  summary=("${summary[@]:0:$at}" "$name: $result ($((SECONDS - start)) s)" "${summary[@]:$at}")
}

plain_stage() {
  configure build -DCMAKE_BUILD_TYPE=RelWithDebInfo || return 1
  cmake --build build -j "$jobs" || return 1
  run_ctest build -LE socketcan
}

# The SocketCAN tests need CAN sockets, which this machine's kernel lacks: ctest runs them in a
# qemu VM (scripts/vmtest.sh). A VM that cannot start leaves them skipped, which ctest would
# count as passed: here it is NOT RUN, loudly, and a failure under CI=true.
run_socketcan_vm() {
  local log=build/socketcan.log rc=0 line
  ctest --test-dir build --output-on-failure -L socketcan 2>&1 | tee "$log" || rc=$?
  [ "${PIPESTATUS[0]}" -ne 0 ] && rc=1
  if grep -qE '\*\*\*Skipped|Not Run|No tests were found' "$log" || ! grep -q 'tests passed' "$log"; then
    echo "!!!!!!!! SocketCAN tests were NOT RUN: the VM could not start (see $log) !!!!!!!!"
    summary+=("  socketcan (VM): NOT RUN")
    notrun=$((notrun + 1))
    if [ $ci -eq 1 ]; then failed=$((failed + 1)); return 1; fi
    return 0
  fi
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -1)
  summary+=("  socketcan (VM): $line")
  if [ $rc -eq 0 ]; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
  return $rc
}


# Leak checks are on; tests/lsan.supp names only the leaks of Qt and the libraries under it.
asan_stage() {
  configure build-asan -DCMAKE_BUILD_TYPE=Debug -DTARVIK_SANITIZE=address -DTARVIK_BENCH=OFF || return 1
  cmake --build build-asan -j "$jobs" || return 1
  run_ctest build-asan -LE socketcan
}

tsan_stage() {
  configure build-tsan -DCMAKE_BUILD_TYPE=Debug -DTARVIK_SANITIZE=thread -DTARVIK_BENCH=OFF || return 1
  cmake --build build-tsan -j "$jobs" --target threaded_tests || return 1
  run_ctest build-tsan -L threaded
}

# Each benchmark once on small inputs; the growth checks compare times within one run, so
# a loaded machine slows both sides alike.
bench_stage() {
  cmake --build build -j "$jobs" --target benchmarks || return 1
  local out
  if out=$(python3 scripts/bench-smoke.py build 2>&1); then
    passed=$((passed + 1)); summary+=("  benchmarks: ok"); echo "$out"
  else
    failed=$((failed + 1)); summary+=("  benchmarks: FAILED"); echo "$out"; return 1
  fi
  while read -r l; do summary+=("    $l"); done < <(grep -E '^(growth|ran) ' <<<"$out")
}

fuzz_one() {
  local f=$1 seeds="$root/fuzz/corpus/$1" work="build-fuzz/corpus-$1" extra=()
  mkdir -p "$work"
  [ -d "$seeds" ] && extra+=("$seeds")
  # Real inputs make the best seeds: the DBC corpus beside the checkout, our example files.
  case $f in
    fuzz_importdbc) if [ -d "$root/../shared/dbc/opendbc" ]; then extra+=("$root/../shared/dbc/opendbc"); fi ;;
    fuzz_setfromline|fuzz_splitlabelline) extra+=("$root/examples") ;;
  esac
  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 ASAN_OPTIONS=halt_on_error=1 \
    "build-fuzz/fuzz/$f" -max_total_time="$fuzz_seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=0 "$work" "${extra[@]}" > "build-fuzz/$f.log" 2>&1
}

fuzz_stage() {
  configure build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DTARVIK_FUZZ=ON -DTARVIK_BENCH=OFF -DTARVIK_WERROR=OFF || return 1
  cmake --build build-fuzz -j "$jobs" --target fuzzers || return 1
  local f rc=0 ran=0
  while read -r f; do
    [ -n "$f" ] || continue
    ran=$((ran + 1))
    if fuzz_one "$f"; then
      passed=$((passed + 1)); summary+=("  fuzz $f: ok")
    else
      failed=$((failed + 1)); summary+=("  fuzz $f: FAILED (build-fuzz/$f.log)"); rc=1
      tail -40 "build-fuzz/$f.log"
    fi
  done < build-fuzz/fuzzers.txt
  [ $ran -gt 0 ] || { summary+=("  fuzz: no target ran"); return 1; }
  return $rc
}

stage "plain build" plain_stage
stage "SocketCAN tests in the VM" run_socketcan_vm
if [ $quick -eq 0 ]; then
  stage "AddressSanitizer + UndefinedBehaviorSanitizer + LeakSanitizer" asan_stage
  stage "ThreadSanitizer (threaded tests)" tsan_stage
  stage "benchmark growth" bench_stage
  stage "fuzz targets (${fuzz_seconds}s each)" fuzz_stage
fi

echo "== summary"
printf '%s\n' "${summary[@]}"
echo "$notrun not run; total $SECONDS s"
# The closing line CI reads: alone on its line.
echo "$passed passed, $failed failed"
exit $status
