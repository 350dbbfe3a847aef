#!/usr/bin/env bash
# Installs what is needed, builds the runtime and starts the sample module.
# Without a display the run is headless (the window stays hidden anyway until a
# graphics mode opens).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target trelm-run trelm_samples
exec ./build/apps/trelm-run --debug build/samples/hello.tbm "$@"
