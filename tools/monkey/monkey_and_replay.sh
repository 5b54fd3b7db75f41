#!/bin/sh
# A seeded run of the monkey, then a replay of its log: the replay must do
# as many actions and be told the same things, or the log does not say what
# led to a failure.
#   monkey_and_replay.sh MONKEY LOG SECONDS
set -e
monkey=$1
log=$2
seconds=$3
"$monkey" --seed 20261208 --seconds "$seconds" --log "$log" > "$log.first"
cat "$log.first"
"$monkey" --replay "$log" > "$log.replay"
# Past the first line (seed, or the replay's length), the same. A picture
# the run exported and then opened as a project is read as one: the count of
# keys its bytes claim is the picture's, drawn anew, not the program's.
said() { tail -n +2 "$1" | sed -E 's/claims -?[0-9]+ keys/claims N keys/'; }
said "$log.first" > "$log.first.said"
said "$log.replay" > "$log.replay.said"
if ! diff -u "$log.first.said" "$log.replay.said"; then
  echo "monkey_and_replay: the replay of $log differs from its run" >&2
  exit 1
fi
echo "monkey_and_replay: the replay said the same"
