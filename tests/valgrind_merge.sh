#!/bin/sh
# Runs the tool under valgrind's leak and memory checks: one complete merge of
# the sample files and one run that stops on a missing input. Each run is in a
# session of its own (setsid), without a controlling terminal: run from a
# terminal, the failing run would otherwise wait there for a key.
#   valgrind_merge.sh TOOL EXAMPLES_DIR
set -eu
tool=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$2/images" "$work/"
cd "$work"
check="setsid -w valgrind -q --leak-check=full --show-leak-kinds=all --errors-for-leak-kinds=all --error-exitcode=99"

printf 'survey\n3\nnorth\nsouth\neast\nall\n' | $check "$tool" > merge.log
test -s images/survey/all.zqd

status=0
printf 'survey 2 north missing none' | $check "$tool" > missing.log || status=$?
test "$status" -eq 1
test ! -e images/survey/none.zqd
echo "valgrind: both runs clean"
