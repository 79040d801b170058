# Shared by the package tests: check WHAT COMMAND... runs the command, counts
# it as passed or failed and says so; summary ends the script with the counts.
# Sourced, not run.
passed=0
failed=0
check() {
  local what="$1"
  shift
  if "$@"; then
    passed=$((passed + 1))
    echo "ok      $what"
  else
    failed=$((failed + 1))
    echo "FAILED  $what"
  fi
}
summary() {
  echo "$passed passed, $failed failed"
  ((failed == 0))
}
