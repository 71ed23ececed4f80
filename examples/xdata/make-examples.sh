#!/bin/sh
# Remakes the example X-files X0001-X0004 in this directory with xgen.
# Usage: sh make-examples.sh PATH-TO-XGEN
set -eu
xgen=${1:?usage: sh make-examples.sh PATH-TO-XGEN}
cd "$(dirname "$0")"
"$xgen" --signal noise  --samples 20000  --seed 1 --order I --network XX --station DEMO1 \
        --location 00 --channel HHZ --rate 100 --start 2024-01-01T00:00:00 X0001
"$xgen" --signal events --samples 300000 --seed 2 --order M --network XX --station DEMO2 \
        --location 10 --channel BHZ --rate 40 --start 2024-03-15T06:30:00.25 X0002
"$xgen" --signal steps  --samples 4000   --seed 3 --order I --network XX --station DEMO3 \
        --location "" --channel LHZ --rate 1 --start 2023-12-31T23:00:00 X0003
"$xgen" --signal fullrange --samples 3000 --seed 4 --order M --network XX --station DEMO4 \
        --location 00 --channel HNE --rate 200 --start 2024-06-01T12:00:00 X0004
