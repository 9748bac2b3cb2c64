#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test headless: once in a Release build,
# once under AddressSanitizer and UndefinedBehaviorSanitizer. Ends with CTest's summary.
set -uo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh || exit 1

export QT_QPA_PLATFORM=offscreen
export QTWEBENGINE_DISABLE_SANDBOX=1
export QTWEBENGINE_CHROMIUM_FLAGS="--disable-gpu --no-sandbox"
jobs=$(nproc)

status=0
echo "== Release build"
if cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null &&
    cmake --build build; then
    (cd build && ctest --output-on-failure -j"$jobs") || status=1
else
    status=1
fi

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build"
export VESK_SANITIZED=1
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1:suppressions=$PWD/tests/asan.supp"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
if cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVESK_SANITIZE=ON \
        -DVESK_BUILD_BENCHMARKS=OFF >/dev/null &&
    cmake --build build-asan; then
    (cd build-asan && ctest --output-on-failure -j"$jobs") || status=1
else
    status=1
fi
exit $status
