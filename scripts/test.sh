#!/usr/bin/env bash
# Installs what is needed and checks Tallowin the way CI does, in three builds:
#   asan    build-test/: Debug with AddressSanitizer and UndefinedBehaviorSanitizer
#           and -Werror; every test, the fuzz replays included.
#   werror  build-release/: Release with -Werror, the programs and benchmarks (the
#           optimiser's warnings are the check; the tests met -Werror in asan), so
#           no test runs here.
#   tsan    build-tsan/: ThreadSanitizer; only the engine, conversion, window and
#           batch-tool tests are built and run (the layers that start threads).
# TALLOWIN_CHECKS picks and orders the builds (default "asan werror tsan"); BUILD_DIR
# overrides build-test/. Each build keeps its folder, so a second run only rebuilds
# what changed; set CMAKE_CXX_COMPILER_LAUNCHER=ccache to share objects across clones.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
JOBS=${JOBS:-2}
CHECKS=${TALLOWIN_CHECKS:-asan werror tsan}
export QT_QPA_PLATFORM=offscreen

# The test programs of the layers that run threads, by the label each test carries
# (its program's name).
TSAN_TESTS=(engine_settings_test engine_temp_files_test engine_log_test engine_adding_test
            engine_list_test engine_window_test engine_window_services_test convert_test
            convert_failures_test parallel_run_test ui_test batch_cli_test)

# The AddressSanitizer build carries line tables only (-g1): its reports need file and
# line, and full debug information costs a good part of its compile and link time. The
# ThreadSanitizer build keeps full debug information: its suppressions match functions
# by their qualified names, which line tables alone do not give.
stage() { printf '\n== %s (%s)\n' "$1" "$(date -u +%H:%M:%S)"; }

for check in $CHECKS; do
  case $check in
    asan)
      stage "AddressSanitizer + UndefinedBehaviorSanitizer, all tests"
      BUILD=${BUILD_DIR:-build-test}
      cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Debug -DTALLOWIN_SANITIZE=ON -DTALLOWIN_WERROR=ON \
            -DTALLOWIN_BENCH=OFF -DCMAKE_CXX_FLAGS_DEBUG=-g1 -DCMAKE_C_FLAGS_DEBUG=-g1
      cmake --build "$BUILD" -j"$JOBS"
      ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1 \
      UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        ctest --test-dir "$BUILD" --output-on-failure -j"$JOBS" --timeout 300
      ;;
    werror)
      stage "Release with -Werror: programs and benchmarks"
      cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DTALLOWIN_WERROR=ON -DTALLOWIN_TESTS=OFF \
            -DTALLOWIN_BENCH=ON
      cmake --build build-release -j"$JOBS"
      ;;
    tsan)
      stage "ThreadSanitizer: engine, conversion, window and batch-tool tests"
      cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALLOWIN_TSAN=ON -DTALLOWIN_BENCH=OFF
      cmake --build build-tsan -j"$JOBS" --target "${TSAN_TESTS[@]}"
      labels=$(IFS='|'; echo "^(${TSAN_TESTS[*]})\$")
      TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/tests/tsan.supp" \
        ctest --test-dir build-tsan --output-on-failure -j"$JOBS" --timeout 300 -L "$labels"
      ;;
    *)
      echo "unknown check '$check' (asan, werror, tsan)" >&2
      exit 2
      ;;
  esac
done
stage "all checks passed"
