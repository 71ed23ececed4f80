#!/usr/bin/env bash
# End-to-end benchmark of quorvale against dd, mseed2sac and cp; see e2e.py.
#   bench/e2e/run.sh [--build DIR] [--scratch DIR] [--reps N] [--only batch|peer|memory|small]
set -euo pipefail
exec python3 "$(dirname "$0")/e2e.py" "$@"
