#!/usr/bin/env bash
# The main job: installs what the build needs, builds, and starts the Q-Mora
# setup program on Linux (in a sandbox unless windir and temp/tmp are set).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
exec scripts/run-installer.sh "$@"
