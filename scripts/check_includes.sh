#!/usr/bin/env bash
# Fails when a file under src/ includes a project header from a layer it may
# not depend on. Dependencies point down only: protocol and the view seam at
# the bottom, then link, then ops, then the front ends under app/.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../src"
declare -A may=(
  [protocol]="protocol/" [view]="view/" [win32]="win32/"
  [link]="link/ protocol/ view/ win32/"
  [ops]="ops/ link/ protocol/ view/"
  [app]="app/ ops/ link/port_discovery.h protocol/sensor_catalogue.h view/ win32/"
)
bad=0
while IFS=: read -r file line header; do
  ok=0
  [[ $header != */* ]] && ok=1 # a generated header beside the file
  for prefix in ${may[${file%%/*}]-}; do [[ $header == "$prefix"* ]] && ok=1; done
  ((ok)) || { echo "src/$file:$line: \"$header\" is not below ${file%%/*} in the dependency order"; bad=1; }
done < <(grep -rnoE '^#include "[^"]+"' . | sed -E 's|^\./||; s|:#include "([^"]+)"$|:\1|')
# The core compiles without any toolkit.
if grep -rnE '^#include <Q' protocol link ops view; then echo "the core includes Qt"; bad=1; fi
exit $bad
