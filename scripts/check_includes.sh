#!/usr/bin/env bash
# Fails when a file includes a project header it may not depend on.
#
# In src/, dependencies point down only: protocol and the view seam at the
# bottom, then link, then ops, then the front ends under app/. Inside ops no
# two files include each other's headers: the dispatch and the worker sit on
# top, the commands below them, the operation steps at the bottom. The tools,
# tests and the benchmark each see only the layers they exercise, and no test
# reaches the platform primitives that the link hides unless it tests them.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

# Folder (the longest that matches) -> the include prefixes it may use.
declare -A may=(
  [src/protocol]="protocol/"
  [src/view]="view/"
  [src/win32]="win32/"
  [src/link]="link/ protocol/ view/ win32/"
  [src/ops]="ops/ link/serial_link.h link/port_discovery.h protocol/ view/"
  [src/app]="app/ ops/ view/ win32/"
  [tools/sim]="tools/sim/ protocol/ link/posix/publish_folder.h"
  [tools/qt_script]="app/dialog_layout.h"
  [tests/unit]="tests/support/texts.h tests/support/text_cut_cases.h protocol/ view/ app/dialog_layout.h"
  [tests/fuzz]="tests/support/texts.h tests/support/wire_model.h protocol/"
  [tests/support]="tests/support/ tools/sim/ ops/ link/serial_link.h link/port_discovery.h protocol/ view/"
  [tests/integration]="tests/support/ tools/sim/ ops/ link/ protocol/ view/"
  [tests/qt]="tests/support/ tools/sim/ app/ ops/ link/serial_link.h link/port_discovery.h protocol/ view/"
  [tests/e2e]="tests/e2e/ tests/support/ tools/sim/ ops/ link/serial_link.h protocol/ view/"
  [tests/e2e/windows]="tests/support/driver_text.h tests/support/text_cut_cases.h app/dialog_layout.h link/port_discovery.h link/win32/port_list.h protocol/ view/ win32/"
  [bench]="bench/ tests/support/ tests/e2e/ tools/sim/ app/ ops/ link/serial_link.h link/port_discovery.h link/posix/per_system.h protocol/ view/"
)

rule_for() {
  local folder=$1
  while [[ $folder == */* || -n ${may[$folder]+set} ]]; do
    if [[ -n ${may[$folder]+set} ]]; then
      echo "$folder"
      return
    fi
    folder=${folder%/*}
  done
}

bad=0
while IFS=: read -r file line header; do
  [[ $header != */* ]] && continue # a generated or local header beside the file
  folder=$(rule_for "$(dirname "$file")")
  if [[ -z $folder ]]; then
    echo "$file:$line: no include rule for its folder"
    bad=1
    continue
  fi
  ok=0
  for prefix in ${may[$folder]}; do [[ $header == "$prefix"* ]] && ok=1; done
  ((ok)) || {
    echo "$file:$line: \"$header\" is not among what $folder may include"
    bad=1
  }
done < <(grep -rnoE '^#include "[^"]+"' src tools tests bench --include='*.cpp' --include='*.h' |
  sed -E 's|:#include "([^"]+)"$|:\1|')

# No circle inside ops: a file's header is not included by the files whose
# headers it includes.
for source in src/ops/*.cpp; do
  own="ops/$(basename "${source%.cpp}").h"
  for header in $(grep -oE '^#include "ops/[^"]+\.h"' "$source" | sed -E 's|#include "(.*)"|\1|'); do
    [[ $header == "$own" ]] && continue
    other="src/${header%.h}.cpp"
    if [[ -f $other ]] && grep -q "^#include \"$own\"" "$other"; then
      echo "$source includes $header, whose $other includes $own back"
      bad=1
    fi
  done
done

# The core compiles without any toolkit.
if grep -rnE '^#include <Q' src/protocol src/link src/ops src/view; then
  echo "the core includes Qt"
  bad=1
fi
exit $bad
